// The toolkit's error type and the text rule of the application's error box.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tk {

// Raised by the toolkit (registry type errors and the like) and by programs
// for failures that end the current event handler; the application shows the
// message in its error box.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// printf-style formatting into a std::string (ANSI, any length).
std::string Format(const char* format, ...);

// The text the error box shows for a message: the message itself, with "."
// appended when its last character's code (unsigned) is greater than that of '.'.
// An empty message stays empty.
std::string ErrorBoxText(std::string_view message);

} // namespace tk

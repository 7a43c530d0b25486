// Object and component base classes: ownership, names, loading and removal
// notifications.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tk {

// Root of everything that can be the Sender of an event.
class TObject {
public:
    virtual ~TObject() = default;
};

// Assignable event whose argument is the object that raised it.
using TNotifyEvent = std::function<void(TObject* Sender)>;

enum class TOperation { opInsert, opRemove };

// A component belongs to an owner, which destroys it; the owner destroys what
// it owns in the reverse order of creation. Destroy components that have an
// owner through their owner, or call Free() (not plain delete) so that
// BeforeDestruction runs while the whole object is still alive.
class TComponent : public TObject {
public:
    // Registers with the owner (may be null); the owner is told (opInsert).
    explicit TComponent(TComponent* owner);
    // Destroys the owned components (if BeforeDestruction has not already),
    // then leaves the owner, which tells the remaining siblings (opRemove).
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // BeforeDestruction, then delete. Safe on null.
    static void Free(TComponent* component);

    TComponent* Owner() const noexcept { return owner_; }
    const std::string& Name() const noexcept { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
    // The owned component of that name (case-insensitive), or null.
    TComponent* FindComponent(const std::string& name) const;

    // The run time is never the form designer.
    bool Designing() const noexcept { return false; }
    // True while the stored properties are being applied, until Loaded() has run.
    bool Loading() const noexcept { return loading_; }
    // True once destruction has begun.
    bool Destroying() const noexcept { return destroying_; }

    // After-loading notification: every stored property has been applied.
    // Overrides call the base first. Clears Loading().
    virtual void Loaded();
    // Told about components inserted into or removed from the owner (sent to
    // the owner, which passes it to every component it owns) and about
    // components this one asked FreeNotification of. Overrides drop their
    // references to a removed component and call the base.
    virtual void Notification(TComponent* component, TOperation operation);
    // Asks to be told (opRemove) when `component` is destroyed, whatever its owner.
    void FreeNotification(TComponent* component);
    // Loaded() on every owned component in creation order, then on this one.
    void LoadedAll();

protected:
    // Runs before the destructor chain: the derived parts are still alive.
    // Overrides call the base last. The base destroys the owned components.
    virtual void BeforeDestruction();
    // Destroys every owned component, last created first.
    void DestroyComponents();

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    TComponent* owner_ = nullptr;
    std::string name_;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    bool loading_ = true;
    bool destroying_ = false;
};

// Names a component as it is made: `btnList = Named(new TButton(...), "btnList")`.
template <typename T>
T* Named(T* component, const std::string& name) {
    component->SetName(name);
    return component;
}

} // namespace tk

#include "toolkit/Classes.h"

#include <algorithm>
#include <cstring>

#include <windows.h>

namespace tk {

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    destroying_ = true;
    DestroyComponents();
    // Those who asked to hear of this component's end, and whom it listens to.
    auto notifies = std::move(freeNotifies_);
    for (TComponent* other : notifies) {
        auto& theirs = other->freeNotifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, TOperation::opRemove);
    }
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::Free(TComponent* component) {
    if (!component) return;
    if (!component->destroying_) {
        component->destroying_ = true;
        component->BeforeDestruction();
    }
    delete component;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (lstrcmpiA(c->name_.c_str(), name.c_str()) == 0) return c;
    return nullptr;
}

void TComponent::Loaded() { loading_ = false; }

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
    }
    // Copy: a handler may destroy components.
    auto owned = components_;
    for (TComponent* c : owned)
        if (c != component && std::find(components_.begin(), components_.end(), c) != components_.end())
            c->Notification(component, operation);
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
        freeNotifies_.push_back(component);
    if (std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this) ==
        component->freeNotifies_.end())
        component->freeNotifies_.push_back(this);
}

void TComponent::LoadedAll() {
    auto owned = components_;
    for (TComponent* c : owned) c->Loaded();
    Loaded();
}

void TComponent::BeforeDestruction() { DestroyComponents(); }

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* last = components_.back();
        // Free removes it from components_ through its owner link.
        Free(last);
    }
}

void TComponent::InsertComponent(TComponent* component) {
    component->owner_ = this;
    components_.push_back(component);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
    component->owner_ = nullptr;
    Notification(component, TOperation::opRemove);
}

} // namespace tk

#include "base/Component.h"

#include <algorithm>
#include <charconv>

namespace qr {

TComponent::TComponent(TComponent* owner) {
    PublishString(
        "Name", [this] { return Utf8ToUnicode(FName); },
        [this](const UString& v) { SetName(UnicodeToUtf8(v)); });
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    NotifyRemoval();
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string& name) {
    if (FOwner && !name.empty()) {
        TComponent* other = FOwner->FindComponent(name);
        if (other && other != this) throw EComponentError("A component named " + name + " already exists");
    }
    FName = name;
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, name)) return c;
    return nullptr;
}

void TComponent::Destroying() {
    if (FDestroying) return;
    FDestroying = true;
    for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) RemoveFreeNotification(component);
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
        FFreeNotifies.push_back(other);
    if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) ==
        other->FFreeNotifies.end())
        other->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other), FFreeNotifies.end());
}

void TComponent::NotifyRemoval() {
    // Everyone who may hold a reference to this component hears of its
    // removal: the owner, its siblings and those who asked to be told.
    std::vector<TComponent*> told;
    auto tell = [&](TComponent* c) {
        if (!c || c == this || std::find(told.begin(), told.end(), c) != told.end()) return;
        told.push_back(c);
        c->Notification(this, TOperation::opRemove);
    };
    if (FOwner) {
        tell(FOwner);
        for (TComponent* sibling : std::vector<TComponent*>(FOwner->FComponents)) tell(sibling);
    }
    for (TComponent* c : std::vector<TComponent*>(FFreeNotifies)) {
        tell(c);
        c->RemoveFreeNotification(this);
    }
    FFreeNotifies.clear();
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) delete FComponents.back();
}

void TComponent::InsertComponent(TComponent* component) {
    component->FOwner = this;
    FComponents.push_back(component);
}

void TComponent::RemoveComponent(TComponent* component) {
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), component), FComponents.end());
    component->FOwner = nullptr;
}

void TComponent::InsertChild(TComponent* child) {
    throw EComponentError(std::string(ClassName()) + " cannot hold " + child->ClassName());
}

const TPropInfo* TComponent::FindProperty(std::string_view name) const {
    for (const TPropInfo& p : FProperties)
        if (SameText(p.Name, name)) return &p;
    return nullptr;
}

void TComponent::SetPropertyText(std::string_view name, const UString& text) {
    const TPropInfo* p = FindProperty(name);
    if (!p) throw EPropertyError("Property " + std::string(name) + " does not exist");
    if (!p->Set) throw EPropertyError("Property " + std::string(name) + " is read-only");
    p->Set(text);
}

UString TComponent::GetPropertyText(std::string_view name) const {
    const TPropInfo* p = FindProperty(name);
    if (!p || !p->Get) throw EPropertyError("Property " + std::string(name) + " does not exist");
    return p->Get();
}

TPropInfo& TComponent::Publish(TPropInfo info) {
    FProperties.push_back(std::move(info));
    return FProperties.back();
}

TPropInfo& TComponent::PublishString(std::string name, std::function<UString()> get,
                                     std::function<void(const UString&)> set) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TTypeKind::tkString;
    p.TypeName = "WideString";
    p.Get = std::move(get);
    p.Set = std::move(set);
    return Publish(std::move(p));
}

namespace {
int64_t ParseInteger(const UString& text) {
    std::string s = UnicodeToUtf8(text);
    int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        throw EPropertyError("'" + s + "' is not a valid integer value");
    return v;
}
}  // namespace

TPropInfo& TComponent::PublishInteger(std::string name, std::function<int64_t()> get,
                                      std::function<void(int64_t)> set) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TTypeKind::tkInteger;
    p.TypeName = "Integer";
    p.Get = [get] { return Utf8ToUnicode(std::to_string(get())); };
    if (set) p.Set = [set](const UString& v) { set(ParseInteger(v)); };
    return Publish(std::move(p));
}

TPropInfo& TComponent::PublishBoolean(std::string name, std::function<bool()> get,
                                      std::function<void(bool)> set) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TTypeKind::tkBoolean;
    p.TypeName = "Boolean";
    p.Get = [get] { return UString(get() ? u"True" : u"False"); };
    if (set)
        p.Set = [set](const UString& v) {
            if (SameText(v, u"True"))
                set(true);
            else if (SameText(v, u"False"))
                set(false);
            else
                throw EPropertyError("'" + UnicodeToUtf8(v) + "' is not a valid boolean value");
        };
    return Publish(std::move(p));
}

}  // namespace qr

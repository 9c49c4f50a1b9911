#pragma once
// The component model: components with an owner and a name, found by name,
// loaded from a stored description, told when a component they refer to
// goes away, with published properties that are found, read and written by
// name as text.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "base/Text.h"

namespace qr {

class TComponent;

enum class TOperation { opInsert, opRemove };

// The kind of a published property, as a property walker needs it.
enum class TTypeKind { tkString, tkInteger, tkBoolean, tkClass, tkBinary, tkMethod };

// Base of everything a property can hold as an object (fonts, string lists).
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const { return "TPersistent"; }
};

// One published property. Get/Set work on the text form; an empty Set makes
// the property read-only. Object properties expose their object instead.
struct TPropInfo {
    std::string Name;
    TTypeKind Kind = TTypeKind::tkString;
    std::string TypeName;
    std::function<UString()> Get;
    std::function<void(const UString&)> Set;
    std::function<TPersistent*()> Object;
    std::function<void(const std::string& bytes)> SetBinary;
};

QR_DECLARE_EXCEPTION(EComponentError, Exception);

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const char* ClassName() const override { return "TComponent"; }

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name);

    int ComponentCount() const { return int(FComponents.size()); }
    TComponent* Components(int index) const { return FComponents.at(size_t(index)); }
    // Owned component by name, ignoring ASCII letter case; null if none.
    TComponent* FindComponent(std::string_view name) const;

    // Load phase: set while the stored description is applied.
    bool IsLoading() const { return FLoading; }
    void BeginLoading() { FLoading = true; }
    // Load completion; overrides call the base first.
    virtual void Loaded() { FLoading = false; }
    bool IsDestroying() const { return FDestroying; }
    // Marks this component and everything it owns as being destroyed.
    void Destroying();

    // Told when `component` is inserted into or removed from this one's
    // owner, or when a component this one registered with goes away.
    virtual void Notification(TComponent* component, TOperation operation);
    // Both components are told when the other is destroyed.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // Takes a component that the stored description nests inside this one
    // (a menu item inside its menu). Components that hold none refuse.
    virtual void InsertChild(TComponent* child);

    // Published properties.
    const std::vector<TPropInfo>& Properties() const { return FProperties; }
    const TPropInfo* FindProperty(std::string_view name) const;
    // Writes a property from its text form; raises EPropertyError for a
    // missing or read-only property.
    void SetPropertyText(std::string_view name, const UString& text);
    UString GetPropertyText(std::string_view name) const;

protected:
    TPropInfo& Publish(TPropInfo info);
    TPropInfo& PublishString(std::string name, std::function<UString()> get,
                             std::function<void(const UString&)> set);
    TPropInfo& PublishInteger(std::string name, std::function<int64_t()> get,
                              std::function<void(int64_t)> set);
    TPropInfo& PublishBoolean(std::string name, std::function<bool()> get, std::function<void(bool)> set);
    // A reference to another component of the same owner, stored by name
    // (an empty name is none); a name of no component of class T is refused.
    template <class T>
    TPropInfo& PublishReference(std::string name, std::string typeName, std::function<T*()> get,
                                std::function<void(T*)> set) {
        TPropInfo p;
        p.Name = std::move(name);
        p.Kind = TTypeKind::tkClass;
        p.TypeName = std::move(typeName);
        p.Get = [get] {
            T* c = get();
            return c ? Utf8ToUnicode(c->Name()) : UString();
        };
        p.Set = [this, set](const UString& v) {
            if (v.empty()) return set(nullptr);
            T* c = dynamic_cast<T*>(Owner() ? Owner()->FindComponent(UnicodeToUtf8(v)) : nullptr);
            if (!c) throw EPropertyError("Invalid property value: " + UnicodeToUtf8(v));
            set(c);
        };
        p.Object = [get]() -> TPersistent* { return get(); };
        return Publish(std::move(p));
    }
    // Destroys the owned components, last-created first.
    void DestroyComponents();
    // Detaches without deleting (used when an owned component is deleted).
    void RemoveComponent(TComponent* component);

private:
    void InsertComponent(TComponent* component);
    void NotifyRemoval();

    TComponent* FOwner = nullptr;
    std::string FName;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    std::vector<TPropInfo> FProperties;
    bool FLoading = false;
    bool FDestroying = false;
};

}  // namespace qr

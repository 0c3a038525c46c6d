#pragma once
// The class-library base: objects, owned components, closures and the exception type.

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
};

// An owner deletes what it owns when it is destroyed; an owned component destroyed early
// first leaves its owner's list, so nothing is deleted twice.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* GetOwner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const;
    // Deletes every owned component, the last inserted first.
    void DestroyComponents();

    std::string Name;
    int Tag = 0;

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    TComponent* FOwner;
    std::vector<TComponent*> FComponents;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    std::string Message;
};

class EReadError : public Exception {
public:
    using Exception::Exception;
};

class EWriteError : public Exception {
public:
    using Exception::Exception;
};

class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

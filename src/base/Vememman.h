#pragma once
// The object registry: the game creates and deletes its long-lived objects here, so that each
// one is recorded with the address of the code that made it and a stray or forgotten object
// can be reported.
//
// Components made with CreateVCL are owned by the registry's owner as well. Delete removes the
// record and deletes the component (which leaves its owner's list on the way). The registry's
// destructor reports every object still recorded through OnError, then deletes, newest first,
// what it made with Create, Alloc or took with AddPtr; components made with CreateVCL are only
// reported: their owner deletes them.
//
// The recording templates are never inlined, so that the return address they record is in the
// code that called them and not one level further up.
//
// Every report names the calling code's address (for Delete and Free too: the pointer itself
// says nothing about who passed it), in hexadecimal, at least 8 digits (the full address on a
// 64-bit build). The events run outside the registry's lock, so a handler or a destructor may use the
// registry again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "platform/Classes.h"
#include "platform/Winapi.h"

enum class TMemKind { mkComponent, mkObject, mkBlock, mkAdded };

class TMemMan : public TComponent {
public:
    explicit TMemMan(TComponent* owner);
    ~TMemMan() override;

    // Receives every report; unassigned, reports go nowhere. Assign it before other threads
    // use the registry.
    std::function<void(const std::string& message)> OnError;

    template <class T>
    [[gnu::noinline]] T* CreateVCL()
    {
        static_assert(std::is_base_of_v<TComponent, T>, "CreateVCL makes components");
        void* caller = __builtin_return_address(0);
        T* object = nullptr;
        try {
            object = new T(GetOwner());
        } catch (...) {
            object = nullptr;
        }
        if (object == nullptr || !Record(Key(object), Stored(object), TMemKind::mkComponent, caller, &DeleteAs<T>)) {
            delete object;
            Report("CreateVCLErr Call(", caller, ")");
            return nullptr;
        }
        return object;
    }

    template <class T>
    [[gnu::noinline]] T* Create()
    {
        void* caller = __builtin_return_address(0);
        T* object = nullptr;
        try {
            object = new T();
        } catch (...) {
            object = nullptr;
        }
        if (object == nullptr || !Record(Key(object), Stored(object), TMemKind::mkObject, caller, &DeleteAs<T>)) {
            delete object;
            Report("CreateErr Call(", caller, ")");
            return nullptr;
        }
        return object;
    }

    // count zeroed elements from the global heap; a count below 1 or too large fails.
    template <class T>
    [[gnu::noinline]] T* Alloc(int64_t count)
    {
        static_assert(std::is_trivially_destructible_v<T>, "Alloc gives raw storage");
        void* caller = __builtin_return_address(0);
        void* block = nullptr;
        if (count >= 1 && static_cast<uint64_t>(count) <= SIZE_MAX / sizeof(T))
            block = GlobalAllocZeroed(static_cast<size_t>(count) * sizeof(T));
        if (block == nullptr || !Record(block, block, TMemKind::mkBlock, caller, &FreeBlock)) {
            GlobalFreeBlock(block);
            Report("AllocErr Call(", caller, ")");
            return nullptr;
        }
        return static_cast<T*>(block);
    }

    template <class T>
    [[gnu::noinline]] void Free(T*& block)
    {
        void* caller = __builtin_return_address(0);
        if (block == nullptr)
            return;
        if (Release(Key(block), "Pointer is not found Free(", caller))
            block = nullptr;
    }

    // Records an object made elsewhere so that Delete can delete it. Recording the same object
    // twice keeps the first record.
    template <class T>
    [[gnu::noinline]] void AddPtr(T* object)
    {
        void* caller = __builtin_return_address(0);
        if (object == nullptr)
            return;
        if (!Record(Key(object), Stored(object), TMemKind::mkAdded, caller, &DeleteAs<T>))
            Report("AddPtrErr Call(", caller, ")");
    }

    // An unknown pointer is reported and left alone: it may not be ours to delete.
    template <class T>
    [[gnu::noinline]] void Delete(T*& object)
    {
        void* caller = __builtin_return_address(0);
        if (object == nullptr)
            return;
        if (Release(Key(object), "Pointer is not found Delete(", caller))
            object = nullptr;
    }

    bool IsRecorded(const void* object) const;
    int Count() const;
    // Kind and creator of a recorded object; false when it is not recorded.
    bool Lookup(const void* object, TMemKind& kind, void*& caller) const;

    static std::string FormatAddress(const char* prefix, const void* address, const char* suffix);

private:
    using TDeleter = void (*)(void*);
    struct TRecord {
        TMemKind Kind;
        void* Caller;
        void* Object;  // the pointer as it was handed over, for the deleter
        TDeleter Deleter;
        uint64_t Serial;
    };

    // The start of the whole object, so that a pointer to a base part finds the same record.
    template <class T>
    static void* Key(T* object)
    {
        if constexpr (std::is_polymorphic_v<T>)
            return dynamic_cast<void*>(const_cast<std::remove_cv_t<T>*>(object));
        else
            return const_cast<void*>(static_cast<const void*>(object));
    }
    template <class T>
    static void DeleteAs(void* object)
    {
        delete static_cast<T*>(object);
    }
    template <class T>
    static void* Stored(T* object)
    {
        return const_cast<void*>(static_cast<const void*>(object));
    }
    static void FreeBlock(void* block) { GlobalFreeBlock(block); }

    bool Record(void* key, void* object, TMemKind kind, void* caller, TDeleter deleter);
    // Unrecords and destroys; reports and returns false when the key is unknown.
    bool Release(void* key, const char* notFound, void* caller);
    static void Destroy(const TRecord& record);
    void Report(const char* prefix, const void* address, const char* suffix);

    mutable std::mutex FMutex;
    std::unordered_map<void*, TRecord> FRecords;
    uint64_t FSerial = 0;
};

// Deletes an object through the registry when the registry recorded it, and directly otherwise
// (it was made where there was no registry), then clears the pointer. Null does nothing.
template <class T>
void DeleteMade(TMemMan* registry, T*& object)
{
    if (object == nullptr)
        return;
    if (registry && registry->IsRecorded(object))
        registry->Delete(object);
    else
        delete object;
    object = nullptr;
}

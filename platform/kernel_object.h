// The objects behind HANDLE, private to the platform layer.
#pragma once

#include "platform/types.h"

#include <memory>
#include <string>

struct KernelObject {
    explicit KernelObject(LPCSTR szName) : name(szName ? szName : "") {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    // Blocks until the object is signalled or the time-out ends. Objects
    // that cannot be waited on fail.
    virtual DWORD wait(DWORD dwMilliseconds);

    // A label for diagnostics; never used to find or share an object.
    const std::string name;
};

// Hands ownership of a new object to its handle; CloseHandle destroys it.
HANDLE adoptHandle(std::unique_ptr<KernelObject> object);

// The object behind a handle if it is of type T, else nullptr.
template <typename T> T* objectOf(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return nullptr;
    return dynamic_cast<T*>(h);
}

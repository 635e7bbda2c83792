#pragma once
// An allocator whose containers leave the new elements of a resize as the memory holds them, for byte
// buffers that are always written before they are read: zeroing a large buffer first touched every
// page of it on the thread that made it, where the first write (a read from a file on a side thread)
// would have faulted each page in anyway.

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace vexilo::core {

template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    explicit UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;  // default-initialised: a byte keeps what the memory holds
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        std::allocator_traits<std::allocator<T>>::construct(static_cast<std::allocator<T>&>(*this), p,
                                                            std::forward<Args>(args)...);
    }
};

}  // namespace vexilo::core

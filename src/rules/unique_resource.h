// The one owner of a handle, descriptor or C library object: released on
// every path, early exits included. Its traits say what the value is, which
// values own nothing and how an owned one is released, so that an integer
// handle needs no box on the heap and a handle with two failure values (a
// Windows file handle: null and INVALID_HANDLE_VALUE) needs no mapping at
// each call.
//
// Traits:
//   using Type = ...;            the value, copied freely (a handle, an fd)
//   static Type Invalid();       what an empty owner holds
//   static bool IsValid(Type);   optional: true only for values to release;
//                                without it, every value but Invalid() is
//   static void Close(Type);     releases one valid value
//
// Plain C++17 and no platform header: every layer may include it.
#pragma once

#include <type_traits>
#include <utility>

namespace updater {

namespace detail {

template <typename Traits, typename = void>
struct HasIsValid : std::false_type {};
template <typename Traits>
struct HasIsValid<Traits, std::void_t<decltype(Traits::IsValid(Traits::Invalid()))>> : std::true_type {};

}  // namespace detail

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    // Owns `value` when it is valid; an invalid one of any kind gives an
    // empty owner, which holds Invalid().
    explicit UniqueResource(Type value) noexcept : value_(Normalised(value)) {}
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return IsValid(value_); }

    // Hands the value over without releasing it; empty after.
    Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }

    // Releases what it owns (first taking `value`, so that a release that
    // looks at the owner finds it holding the new one).
    void reset(Type value = Traits::Invalid()) noexcept {
        const Type old = std::exchange(value_, Normalised(value));
        if (IsValid(old)) Traits::Close(old);
    }

private:
    static bool IsValid(Type value) {
        if constexpr (detail::HasIsValid<Traits>::value)
            return Traits::IsValid(value);
        else
            return !(value == Traits::Invalid());
    }
    static Type Normalised(Type value) { return IsValid(value) ? value : Traits::Invalid(); }

    Type value_ = Traits::Invalid();
};

// The traits of a C library's object, released by its one-argument free
// function; null is its one invalid value.
template <typename T, auto Free>
struct FreedPointerTraits {
    using Type = T*;
    static constexpr T* Invalid() { return nullptr; }
    static void Close(T* pointer) { Free(pointer); }
};

template <typename T, auto Free>
using UniquePointer = UniqueResource<FreedPointerTraits<T, Free>>;

}  // namespace updater

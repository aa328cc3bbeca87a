// Compiler specifics in one place: symbol visibility, attributes, the
// thread-local model, bit scans and the atomic accesses of shared words.
// GCC and Clang (mingw included) use their builtins; MSVC and clang-cl in
// MSVC mode get the equivalents below. Nothing else in the library spells a
// compiler extension.
#pragma once

#include <stdint.h>

#if defined(_MSC_VER) && !defined(__clang__)
#define ZAV_COMPILER_MSVC 1
#include <atomic>
#include <intrin.h>
#endif

// Visibility of a symbol that the shared object exports on ELF targets (the
// build hides everything else). Windows uses dllexport/dllimport instead.
#if defined(__GNUC__) || defined(__clang__)
#define ZAV_VISIBLE __attribute__((visibility("default")))
#else
#define ZAV_VISIBLE
#endif

// printf-style argument checks; the positions count `this` for members.
#if defined(__GNUC__) || defined(__clang__)
#define ZAV_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define ZAV_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

#if defined(__GNUC__) || defined(__clang__)
#define ZAV_NOINLINE __attribute__((noinline))
#elif defined(ZAV_COMPILER_MSVC)
#define ZAV_NOINLINE __declspec(noinline)
#else
#define ZAV_NOINLINE
#endif

// Code generated for an instruction-set extension the build does not assume;
// callers check the CPU first.
#if defined(__GNUC__) || defined(__clang__)
#define ZAV_TARGET(features) __attribute__((target(features)))
#else
#define ZAV_TARGET(features)
#endif

// Thread-locals read on hot paths (every trace line, every last-error call)
// use the static TLS model, which needs no lookup call. Valid only in code
// loaded at start-up, where static TLS space is always available.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__ELF__)
#define ZAV_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define ZAV_FAST_TLS
#endif

namespace zav {

// Keeps a parameter out of template deduction, so StoreRelaxed(word64, 0u)
// takes the word's type.
template <typename T> struct SameType { typedef T type; };
template <typename T> using Plain = typename SameType<T>::type;

// Index of the highest / lowest set bit; v must not be 0.
inline unsigned HighestBit(uint32_t v) {
#if defined(ZAV_COMPILER_MSVC)
    unsigned long index;
    _BitScanReverse(&index, v);
    return static_cast<unsigned>(index);
#else
    return 31u - static_cast<unsigned>(__builtin_clz(v));
#endif
}

inline unsigned LowestBit(uint32_t v) {
#if defined(ZAV_COMPILER_MSVC)
    unsigned long index;
    _BitScanForward(&index, v);
    return static_cast<unsigned>(index);
#else
    return static_cast<unsigned>(__builtin_ctz(v));
#endif
}

// Atomic access to plain words: the exported globals keep their C types
// (hosts read and write them directly), so the library reaches them through
// these instead of std::atomic. Orders are named in the function.
#if defined(ZAV_COMPILER_MSVC)
namespace detail {
template <typename T>
std::atomic<T>& AsAtomic(T& word) {
    static_assert(sizeof(std::atomic<T>) == sizeof(T), "an atomic word must have the plain word's layout");
    return reinterpret_cast<std::atomic<T>&>(word);
}
template <typename T>
std::atomic<T>& AsAtomic(const T& word) {
    return AsAtomic(const_cast<T&>(word));
}
}  // namespace detail

template <typename T> T LoadRelaxed(const T& word) { return detail::AsAtomic(word).load(std::memory_order_relaxed); }
template <typename T> T LoadAcquire(const T& word) { return detail::AsAtomic(word).load(std::memory_order_acquire); }
template <typename T> void StoreRelaxed(T& word, Plain<T> value) { detail::AsAtomic(word).store(value, std::memory_order_relaxed); }
template <typename T> void StoreRelease(T& word, Plain<T> value) { detail::AsAtomic(word).store(value, std::memory_order_release); }
template <typename T> T FetchAddRelaxed(T& word, Plain<T> delta) { return detail::AsAtomic(word).fetch_add(delta, std::memory_order_relaxed); }
template <typename T> T FetchSubRelaxed(T& word, Plain<T> delta) { return detail::AsAtomic(word).fetch_sub(delta, std::memory_order_relaxed); }
template <typename T> T AddFetchSeqCst(volatile T& word, Plain<T> delta) {
    return detail::AsAtomic(const_cast<T&>(word)).fetch_add(delta) + delta;
}
// Replaces word with desired when it holds expected (acquire on success);
// otherwise expected receives the word's value.
template <typename T> bool CompareExchangeAcquire(T& word, T& expected, Plain<T> desired) {
    return detail::AsAtomic(word).compare_exchange_strong(expected, desired, std::memory_order_acquire,
                                                          std::memory_order_relaxed);
}
template <typename T> bool CompareExchangeRelease(T& word, T& expected, Plain<T> desired) {
    return detail::AsAtomic(word).compare_exchange_strong(expected, desired, std::memory_order_release,
                                                          std::memory_order_acquire);
}
#else
template <typename T> T LoadRelaxed(const T& word) { return __atomic_load_n(&word, __ATOMIC_RELAXED); }
template <typename T> T LoadAcquire(const T& word) { return __atomic_load_n(&word, __ATOMIC_ACQUIRE); }
template <typename T> void StoreRelaxed(T& word, Plain<T> value) { __atomic_store_n(&word, value, __ATOMIC_RELAXED); }
template <typename T> void StoreRelease(T& word, Plain<T> value) { __atomic_store_n(&word, value, __ATOMIC_RELEASE); }
template <typename T> T FetchAddRelaxed(T& word, Plain<T> delta) { return __atomic_fetch_add(&word, delta, __ATOMIC_RELAXED); }
template <typename T> T FetchSubRelaxed(T& word, Plain<T> delta) { return __atomic_fetch_sub(&word, delta, __ATOMIC_RELAXED); }
template <typename T> T AddFetchSeqCst(volatile T& word, Plain<T> delta) { return __atomic_add_fetch(&word, delta, __ATOMIC_SEQ_CST); }
// Replaces word with desired when it holds expected (acquire on success);
// otherwise expected receives the word's value.
template <typename T> bool CompareExchangeAcquire(T& word, T& expected, Plain<T> desired) {
    return __atomic_compare_exchange_n(&word, &expected, desired, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}
template <typename T> bool CompareExchangeRelease(T& word, T& expected, Plain<T> desired) {
    return __atomic_compare_exchange_n(&word, &expected, desired, false, __ATOMIC_RELEASE, __ATOMIC_ACQUIRE);
}
#endif

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
// Whether the processor has carry-less multiplication and SSE 4.1.
inline bool CpuHasClmul() {
    __builtin_cpu_init();  // a DLL's initialisers may run before the runtime has asked the CPU
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}
#endif

}  // namespace zav

#pragma once

// Whether this build runs under AddressSanitizer or ThreadSanitizer, whose shadow
// memory and slower code change memory and time figures. GCC names it with
// __SANITIZE_*__, clang (before 15) only through __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVANDEL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ORVANDEL_SANITIZED 1
#endif
#endif
#ifndef ORVANDEL_SANITIZED
#define ORVANDEL_SANITIZED 0
#endif

namespace orvandel::test {
constexpr bool kSanitized = ORVANDEL_SANITIZED != 0;
}  // namespace orvandel::test

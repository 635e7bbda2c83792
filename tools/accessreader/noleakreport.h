#pragma once
// Included once by each main program that runs libmdb. libmdb does not free all it allocates before
// the program ends; the leak report of a sanitizer build would turn every run into a failure, so leaks
// are not reported in those programs.
#if defined(__SANITIZE_ADDRESS__)
#define VEXILO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXILO_ASAN 1
#endif
#endif
#ifdef VEXILO_ASAN
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
#endif

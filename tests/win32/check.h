// A small check harness for the Windows test programs, which run under Wine
// where the native test framework is not available.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace norvane::checks {

struct Registry {
    std::vector<std::pair<const char*, std::function<void()>>> tests;
    int failures = 0;
    static Registry& Get() {
        static Registry registry;
        return registry;
    }
};

struct Register {
    Register(const char* name, std::function<void()> body) {
        Registry::Get().tests.emplace_back(name, std::move(body));
    }
};

inline void Fail(const char* file, int line, const std::string& what) {
    std::printf("%s:%d: FAILED: %s\n", file, line, what.c_str());
    ++Registry::Get().failures;
}

inline int RunAll() {
    Registry& registry = Registry::Get();
    for (auto& test : registry.tests) {
        const int before = registry.failures;
        test.second();
        std::printf("[%s] %s\n", registry.failures == before ? "  OK  " : "FAILED", test.first);
    }
    std::printf("%zu tests, %d failed checks\n", registry.tests.size(), registry.failures);
    return registry.failures == 0 ? 0 : 1;
}

}  // namespace norvane::checks

#define NORVANE_CONCAT2(a, b) a##b
#define NORVANE_CONCAT(a, b) NORVANE_CONCAT2(a, b)
#define TEST_CASE(name)                                                         \
    static void NORVANE_CONCAT(name, _body)();                                  \
    static const ::norvane::checks::Register NORVANE_CONCAT(name, _registered)( \
        #name, NORVANE_CONCAT(name, _body));                                    \
    static void NORVANE_CONCAT(name, _body)()

#define CHECK(condition)                                             \
    do {                                                             \
        if (!(condition))                                            \
            ::norvane::checks::Fail(__FILE__, __LINE__, #condition); \
    } while (0)

#define CHECK_EQ(actual, expected)                                                   \
    do {                                                                             \
        const auto& checkActual = (actual);                                          \
        const auto& checkExpected = (expected);                                      \
        if (!(checkActual == checkExpected))                                         \
            ::norvane::checks::Fail(__FILE__, __LINE__,                              \
                                    std::string(#actual " == " #expected " (got ") + \
                                        std::to_string(checkActual) + ")");          \
    } while (0)

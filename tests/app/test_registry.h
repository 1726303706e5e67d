#pragma once
// Test classes register themselves here with VANTREL_GUI_TEST (class name);
// the test program runs them one after another.
#include <QObject>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using TestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<std::pair<const char*, TestFactory>>& TestRegistry()
{
    static std::vector<std::pair<const char*, TestFactory>> registry;
    return registry;
}

struct TestRegistration {
    TestRegistration(const char* name, TestFactory factory) { TestRegistry().emplace_back(name, std::move(factory)); }
};

#define VANTREL_GUI_TEST(Class) \
    static const TestRegistration kRegister##Class(#Class, [] { return std::unique_ptr<QObject>(new Class); })

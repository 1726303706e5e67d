// Runs the GUI test classes: all of them, or the one named by the first
// argument (the remaining arguments go to Qt Test).
#include <QApplication>
#include <QTest>
#include <cstring>

#include "test_registry.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    std::vector<char*> args{argv[0]};
    for (int i = only ? 2 : 1; i < argc; ++i)
        args.push_back(argv[i]);
    int failures = 0;
    bool ran = false;
    for (const auto& [name, factory] : TestRegistry()) {
        if (only && std::strcmp(only, name) != 0)
            continue;
        ran = true;
        std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    if (!ran) {
        std::fprintf(stderr, "no test class named %s\n", only ? only : "");
        return 2;
    }
    return failures == 0 ? 0 : 1;
}

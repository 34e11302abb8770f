#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

int main(int argc, char** argv)
{
    // No test asks the real LoTW: a request that is not pointed at a stand-in meets a closed port.
    if (!qEnvironmentVariableIsSet("QUORVANE_LOTW_URL"))
        qputenv("QUORVANE_LOTW_URL", "https://127.0.0.1:9");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
#ifdef Q_OS_WIN
    // Under Wine a test program whose window ran and stopped an operation does not always
    // finish ending: its last thread stays in the system's process exit, after the results are
    // out. The results are written by then; the process ends here, with its status.
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), UINT(result));
#endif
    return result;
}

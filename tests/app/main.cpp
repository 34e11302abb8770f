#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // No test asks the real LoTW: a request that is not pointed at a stand-in meets a closed port.
    if (!qEnvironmentVariableIsSet("QUORVANE_LOTW_URL"))
        qputenv("QUORVANE_LOTW_URL", "https://127.0.0.1:9");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <QCoreApplication>
#include <gtest/gtest.h>

// A signed file sent to LoTW goes through a local event loop, which needs the application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

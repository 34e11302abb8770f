#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::fprintf(stderr, "usage: quorvane-cli [--data-dir DIR] COMMAND [OPTIONS]\n");
    return 2;
}

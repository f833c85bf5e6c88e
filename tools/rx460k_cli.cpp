// rx460k-cli: see cli/cli.h.
#include "cli/cli.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rx460k-cli"));
    return cli::run(QCoreApplication::arguments(), stdout, stderr);
}

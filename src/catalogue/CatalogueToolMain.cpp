#include "CatalogueTool.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CatalogueTool::run(app.arguments().mid(1), out, err);
}

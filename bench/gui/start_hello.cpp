// The yardstick: a bare Qt window with one label, ended at its first paint.

#include "bench/gui/first_paint.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("hello"));
    new QuitOnFirstPaint(&window);
    window.show();
    return QApplication::exec();
}

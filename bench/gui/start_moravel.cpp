// moravel's start sequence (settings, empty document, window), ended at the window's first
// paint.

#include "app/shell/main_frame.h"
#include "app/shell/moravel_program.h"
#include "bench/gui/first_paint.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    moravel::setUpApplication(application);
    moravel::MoravelProgram program;
    if (!program.start({}))
        return 1;
    new QuitOnFirstPaint(program.window());
    return QApplication::exec();
}

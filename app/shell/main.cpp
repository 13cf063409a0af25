// moravel: the configuration program of the controller.
//     moravel [PARAMETERDATEI]

#include "app/shell/moravel_program.h"

int main(int argc, char** argv) { return moravel::runMoravel(argc, argv); }

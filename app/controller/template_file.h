#pragma once
// Where the program finds its template parameter file.

#include <string>

namespace moravel {

// The template "NC-Travo_USB_Param_NEW.ncp", looked for in this order:
//   1. the current directory (the relative name is returned);
//   2. $MORAVEL_DATA_DIR, when that variable is set;
//   3. the source tree's app/resources, only for a program running from the build tree;
//   4. the installed data directory (<prefix>/share/moravel).
// Returns the plain relative name when none has it (opening it then fails quietly, as
// "&Neu" expects).
std::string findTemplateFile();

} // namespace moravel

// xsdimport: imports an XML schema into a message set of the repository.
#include "run_driver.h"

int main(int argc, char** argv) { return runImport(argc, argv); }

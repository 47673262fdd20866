#include <cstdlib>

#include "engine/application_main.h"

int main(int argc, char** argv) { std::exit(FlutterApplicationMain(argc, argv)); }

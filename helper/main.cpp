#include <string>
#include <vector>

#include "helper/entry/HalvexMacHelperMain.h"

int main(int argc, char** argv) {
    return halvex::HalvexMacHelperMain::main(std::vector<std::string>(argv, argv + argc));
}

#include <string>
#include <vector>

#include "core/chart/tradingview/tesseract/SingleThreadedOpenMP.h"
#include "helper/entry/HalvexMacHelperMain.h"

int main(int argc, char** argv) {
    // Tesseract's OpenMP runtime reads its thread limit when it loads; without the limit it is several
    // times slower on two cores, so the process restarts itself once with the variable set.
    halvex::halvexEnsureSingleThreadedOpenMP(argc, argv);
    return halvex::HalvexMacHelperMain::main(std::vector<std::string>(argv, argv + argc));
}

// make_stock_sounds FOLDER: makes the phone's stock sounds, a build step of
// the platform library.
#include <iostream>
#include <string>

#include "wmp/sound_synth.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_stock_sounds FOLDER\n";
        return 2;
    }
    std::string why;
    if (!handset::wmp::makeStockSounds(argv[1], &why)) {
        std::cerr << "make_stock_sounds: " << why << '\n';
        return 1;
    }
    return 0;
}

// handset screen: what a program of the device shows, as a person sees it.
//
//   handset screen [--program NAME]              the foreground window, one line per element
//   handset screen shot FILE.png [--program NAME]
//
// The foreground program is the one that showed a form last; NAME is a
// program's file name (Tonquil.exe, today).
#include <filesystem>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "commands.h"

namespace handset::cli {

void addScreenCommands(CLI::App& app)
{
    CLI::App* screen = app.add_subcommand(
        "screen", "Print what a program's window shows: its title, then each control with its id, kind, place "
                  "(x,y,width,height), state and text, the items of lists and tabs, the soft keys and an open menu");
    static std::string program;
    screen->add_option("--program", program, "the program's file name, such as Tonquil.exe; default: the one in front")
        ->type_name("NAME");
    screen->require_subcommand(0, 1);

    static std::string file;
    CLI::App* shot = screen->add_subcommand("shot", "Save the window as the person sees it, as a PNG picture");
    shot->add_option("FILE", file, "the PNG file to write (replaced when it exists)")->required();
    shot->fallthrough();

    onRun(screen, NeedsDevice::Yes, [shot] {
        std::string result;
        if (!shot->parsed()) {
            const int status = askProgramWithWindows(program, {"screen"}, result);
            if (status == 0)
                std::cout << result;
            return status;
        }
        if (file.empty())
            return usage("give the PNG file to write");
        if (const int status = askProgramWithWindows(program, {"shot"}, result); status != 0)
            return status;
        const std::string problem = writeWholeFile(std::filesystem::absolute(file), result, Replace::Yes);
        return problem.empty() ? 0 : fail(problem);
    });
}

}  // namespace handset::cli

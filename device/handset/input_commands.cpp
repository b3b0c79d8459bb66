// handset input: a person's pen and keys on a program of the device.
//
//   handset input tap X Y | tap --id ID | tap --text TEXT
//   handset input key left|right|up|down|action|softkey1|softkey2|backspace|enter|space
//   handset input text [--replace] TEXT
//   handset input choose --id ID TEXT
//   handset input menu "Menu/Remove Ring Tone"
//
// Each goes to the foreground program (or --program NAME) and returns once
// the program has handled it; when it opens a dialog or a message box, once
// that is shown. A TEXT to tap or choose may be given as `handset screen`
// prints it, in its double quotes with its \" \\ \n escapes.
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands.h"

namespace handset::cli {

namespace {

std::string gProgram;

int send(std::vector<std::string> words)
{
    std::string result;
    return askProgramWithWindows(gProgram, words, result);
}

}  // namespace

void addInputCommands(CLI::App& app)
{
    CLI::App* input = app.add_subcommand(
        "input", "Use a program as a person would: tap, press keys, type, choose list items and menu commands");
    input->add_option("--program", gProgram,
                      "the program's file name, such as Tonquil.exe; default: the one in front")
        ->type_name("NAME");
    input->require_subcommand(1);

    static int x = 0, y = 0, id = 0;
    static std::string text;
    CLI::App* tap = input->add_subcommand("tap", "Tap with the pen (down, then up): at X Y of the window, at the "
                                                 "centre of control --id, or on what shows --text");
    CLI::Option* xOption = tap->add_option("X", x, "form coordinate from the left");
    CLI::Option* yOption = tap->add_option("Y", y, "form coordinate from the top");
    CLI::Option* idOption = tap->add_option("--id", id, "a control's id (see `handset screen`)");
    CLI::Option* textOption =
        tap->add_option("--text", text,
                        "the text of a control, list row, tab, menu item or soft key, as shown or as `handset "
                        "screen` prints it (\"Smith, John\\nAcme\")");
    tap->fallthrough();
    onRun(tap, NeedsDevice::Yes, [=] {
        const bool point = xOption->count() > 0;
        const int ways = (point ? 1 : 0) + (idOption->count() > 0 ? 1 : 0) + (textOption->count() > 0 ? 1 : 0);
        if (ways != 1 || (point && yOption->count() == 0))
            return usage("give X Y, --id ID or --text TEXT");
        if (point)
            return send({"tap", std::to_string(x), std::to_string(y)});
        if (idOption->count() > 0)
            return send({"tap-id", std::to_string(id)});
        return send({"tap-text", text});
    });

    static std::string key;
    CLI::App* keyCommand = input->add_subcommand("key", "Press a key of the phone");
    keyCommand
        ->add_option("KEY", key,
                     "left, right, up, down, action, softkey1 (left), softkey2 (right), or the input panel's "
                     "backspace, enter and space")
        ->required()
        ->check(CLI::IsMember(
            {"left", "right", "up", "down", "action", "softkey1", "softkey2", "backspace", "enter", "space"}));
    keyCommand->fallthrough();
    onRun(keyCommand, NeedsDevice::Yes, [] { return send({"key", key}); });

    static std::string typed;
    static bool replace = false;
    CLI::App* textCommand = input->add_subcommand("text", "Type text into the control that has the focus");
    CLI::Option* typedOption = textCommand->add_option("TEXT", typed, "the text");
    textCommand->add_flag("--replace", replace,
                          "select all the control holds first, so that TEXT replaces it (no TEXT: clear it)");
    textCommand->fallthrough();
    onRun(textCommand, NeedsDevice::Yes, [typedOption] {
        if (replace)
            return send({"replace-text", typed});
        if (typedOption->count() == 0)
            return usage("give the TEXT to type");
        return send({"text", typed});
    });

    static int chooseId = 0;
    static std::string item;
    CLI::App* choose = input->add_subcommand("choose", "Pick an item of a combo box or list, as a tap on it would");
    choose->add_option("--id", chooseId, "the combo box's or list's id")->required();
    choose->add_option("TEXT", item, "the item's text, as shown or as `handset screen` prints it")->required();
    choose->fallthrough();
    onRun(choose, NeedsDevice::Yes, [] { return send({"choose", std::to_string(chooseId), item}); });

    static std::string path;
    CLI::App* menu = input->add_subcommand("menu", "Open a soft key's menu and choose an item by its labels");
    menu->add_option("PATH", path, "the soft key's label, then the items' labels, joined by /: \"Menu/Help/About\"")
        ->required();
    menu->fallthrough();
    onRun(menu, NeedsDevice::Yes, [] { return send({"menu", path}); });
}

}  // namespace handset::cli

// handset init: a new device in its factory state.
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include <handset/device.h>
#include <handset/factory.h>

#include "commands.h"

namespace handset::cli {

void addInitCommand(CLI::App& app)
{
    CLI::App* init = app.add_subcommand(
        "init", "Create a new device at the device folder: its folders and the phone's factory registry.");
    auto force = std::make_shared<bool>(false);
    init->add_flag("--force", *force, "replace an existing device; everything in it is lost");

    onRun(init, NeedsDevice::No, [force] {
        const std::filesystem::path root = deviceRoot();
        const bool replacing = isDevice(root);
        const CreateDeviceResult result = createDevice(root, *force ? ReplaceExisting::Yes : ReplaceExisting::No);
        if (result.failure == CreateDeviceResult::Failure::DeviceExists)
            return fail(result.message + "; use `handset init --force` to replace it");
        if (!result.ok())
            return fail(result.message);
        logChange((replacing ? "replaced the device at " : "created a new device at ") + root.string());
        std::cout << (replacing ? "replaced the device at " : "created a device at ") << root.string() << '\n';
        return 0;
    });
}

}  // namespace handset::cli

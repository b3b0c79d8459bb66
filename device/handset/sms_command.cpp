// Placeholder while the command is being written; replaced by its owner.
#include "commands.h"

namespace handset::cli {

void addSmsCommand(CLI::App&) {}

}  // namespace handset::cli

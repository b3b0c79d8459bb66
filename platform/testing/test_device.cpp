#include "test_device.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include <handset/device.h>

namespace handset::testing {

TempDevice::TempDevice()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/handset-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    root_ = pattern;
    for (const char* sub : {"fs/Windows", "fs/My Documents", "fs/Program Files", "run", "log"})
        std::filesystem::create_directories(root_ / sub);
    setDeviceRoot(root_);
}

TempDevice::~TempDevice()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

}  // namespace handset::testing

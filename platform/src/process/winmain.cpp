// The main() of every device program: it hands the command line the
// platform passed to the program's WinMain, verbatim.
#include <string>

#include <handset/process.h>
#include <handset/wstring.h>

// The start of this program's image, which stands for its instance handle
// as the image base does on the phone.
extern "C" char __executable_start;

// GLib keeps the first block of its string table when the table grows, on
// purpose (readers of the table take no lock), and the sanitizer's leak
// check at exit counts that block as lost in every program that starts
// GStreamer. GLib keeps no frame pointers, so the check sees only GLib's
// own allocator on that block's stack and nothing narrower can name it:
// what GLib itself allocates is left out of a program's leak check (the
// platform's tests check the media code's GLib objects with full stacks).
// Only the sanitizer build asks for these.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\n";
}
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

int main(int argc, char** argv)
{
    // The platform passes exactly one argument. Someone who starts the
    // program by hand from a shell may give several words: they are joined
    // by single spaces, as `handset run` joins its arguments.
    std::u16string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += u' ';
        commandLine += handset::fromUtf8(argv[i]);
    }
    return WinMain(reinterpret_cast<HINSTANCE>(&__executable_start), nullptr, commandLine.data(), SW_SHOW);
}

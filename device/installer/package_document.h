// The provisioning document of a package ("_setup.xml"): what the package
// installer puts in place, read into plain data.
//
//   <wap-provisioningdoc>
//     <characteristic type="Install">
//       <parm name="AppName" value="Tonquil"/>
//       <parm name="InstallDir" value="\Program Files\Tonquil"/>
//       <parm name="SetupDll" value="Instavel.dll"/>
//     </characteristic>
//     <characteristic type="FileOperation">
//       <characteristic type="%InstallDir%">
//         <characteristic type="MakeDir"/>
//         <characteristic type="Tonquil.exe">
//           <characteristic type="Extract"><parm name="Source" value="Tonquil.exe"/></characteristic>
//         </characteristic>
//       </characteristic>
//     </characteristic>
//     <characteristic type="Registry">
//       <characteristic type="HKCU\Software\Quorrel\Tonquil">
//         <parm name="InstallDir" value="%InstallDir%" datatype="string"/>
//       </characteristic>
//     </characteristic>
//   </wap-provisioningdoc>
//
// package/README.md describes the form in full.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <handset/regfile.h>
#include <handset/types.h>

namespace installer {

struct PackageFile {
    std::u16string name;  // the installed file's name in its folder
    std::string source;   // the file in the package folder, a relative path
};

struct PackageFolder {
    std::u16string path;  // a device path, %InstallDir% replaced
    std::vector<PackageFile> files;
};

struct PackageValue {
    std::u16string name;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;  // exactly the bytes to store
};

struct PackageKey {
    handset::RegKeyPath key;
    std::vector<PackageValue> values;
};

struct PackageDocument {
    std::u16string appName;
    std::u16string installDir;   // a device path
    std::string setupLibrary;    // the setup library in the package folder; empty: none
    std::vector<PackageFolder> folders;
    std::vector<PackageKey> keys;
};

struct [[nodiscard]] PackageParseResult {
    std::optional<PackageDocument> document;
    int line = 0;         // where the document is at fault, 1-based; 0 for the whole
    std::string error;    // why, when there is no document
    bool ok() const { return document.has_value(); }
};

// Reads a provisioning document from its raw bytes (UTF-8 or what its XML
// declaration names). Touches nothing else, so it can be fed anything: a
// document that is not well formed, uses a document type declaration, names
// something unknown, or whose paths would leave the package or the device
// is refused with the line and the reason. Never throws.
PackageParseResult parsePackageDocument(std::string_view bytes);

}  // namespace installer

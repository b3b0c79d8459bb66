// handset contacts / handset categories: the phone's address book from the
// command line, written through the same contacts volume the phone uses.
#include <charconv>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include <handset/cedb.h>
#include <handset/contacts_admin.h>
#include <handset/imaging.h>
#include <handset/wstring.h>

#include "commands.h"

namespace handset::cli {

namespace {

using contacts::ContactChanges;

// The options add and set share; every one left out stays untouched.
struct ContactOptions {
    std::optional<std::string> first, last, company, mobile, home, work, categories, ringTone, smsTone;
    std::optional<std::string> priority;
    std::optional<std::string> picture;

    void addTo(CLI::App* command)
    {
        command->add_option("--first", first, "first name");
        command->add_option("--last", last, "last name");
        command->add_option("--company", company, "company");
        command->add_option("--mobile", mobile, "mobile number (empty: remove it)");
        command->add_option("--home", home, "home number (empty: remove it)");
        command->add_option("--work", work, "work number (empty: remove it)");
        command->add_option("--categories", categories, "categories, comma-separated: \"Family,Work\"");
        command->add_option("--ring-tone", ringTone, "device path of the contact's ring tone");
        command->add_option("--sms-tone", smsTone, "device path of the contact's SMS tone (\"SMSRingTones\")");
        command->add_option("--priority", priority, "0 Normal, 1 VIP, 2 Mute (\"Priority\")");
        command->add_option("--picture", picture,
                            "a picture file of this computer (JPEG, PNG, BMP, GIF), stored byte for byte "
                            "as the contact's picture (empty: remove the picture)");
    }

    // The changes, or a usage message in `problem`.
    ContactChanges changes(std::string& problem) const
    {
        ContactChanges fields;
        const auto text = [](const std::optional<std::string>& value) -> std::optional<std::u16string> {
            if (!value)
                return std::nullopt;
            return fromUtf8(*value);
        };
        fields.firstName = text(first);
        fields.lastName = text(last);
        fields.company = text(company);
        fields.categories = text(categories);
        fields.ringTone = text(ringTone);
        fields.smsTone = text(smsTone);
        if (mobile)
            fields.phones.emplace_back(PIMPR_MOBILE_TELEPHONE_NUMBER, fromUtf8(*mobile));
        if (home)
            fields.phones.emplace_back(PIMPR_HOME_TELEPHONE_NUMBER, fromUtf8(*home));
        if (work)
            fields.phones.emplace_back(PIMPR_BUSINESS_TELEPHONE_NUMBER, fromUtf8(*work));
        if (priority) {
            unsigned value = 0;
            const auto [end, ec] = std::from_chars(priority->data(), priority->data() + priority->size(), value);
            if (ec != std::errc{} || end != priority->data() + priority->size() || value > 0xFFFF)
                problem = "not a priority: " + *priority + " (give 0 Normal, 1 VIP or 2 Mute)";
            else
                fields.priority = static_cast<WORD>(value);
        }
        return fields;
    }
};

// Reads the --picture file into the changes; 0, or the exit code of a
// failure it has reported.
int loadPicture(const std::optional<std::string>& file, ContactChanges& fields)
{
    if (!file)
        return 0;
    if (file->empty()) {
        fields.picture.emplace();
        return 0;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(*file, ec);
    if (ec || !std::filesystem::is_regular_file(*file, ec))
        return fail("cannot read the picture " + *file + (ec ? ": " + ec.message() : ": not a file"));
    if (size == 0)
        return fail("the picture " + *file + " is empty (give --picture \"\" to remove a contact's picture)");
    if (size > contacts::kMaxPictureBytes)
        return fail("the picture " + *file + " has " + std::to_string(size) + " bytes; a contact's picture holds " +
                    std::to_string(contacts::kMaxPictureBytes) + " at most");
    std::vector<BYTE> bytes(size);
    std::ifstream in(*file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return fail("cannot read the picture " + *file);
    fields.picture = std::move(bytes);
    return 0;
}

// "400x300 JPEG (12345 bytes)", as the phone's imaging reads the picture.
std::string describePicture(const std::vector<BYTE>& bytes)
{
    if (bytes.empty())
        return "none";
    const std::string size = " (" + std::to_string(bytes.size()) + " bytes)";
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return "not read" + size;
    std::string text = "not a picture" + size;
    IImagingFactory* factory = nullptr;
    IImage* image = nullptr;
    ImageInfo info{};
    if (SUCCEEDED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateImageFromBuffer(bytes.data(), static_cast<UINT>(bytes.size()),
                                                 BufferDisposalFlagNone, &image)) &&
        SUCCEEDED(image->GetImageInfo(&info))) {
        const char* format = info.RawDataFormat == ImageFormatJPEG  ? "JPEG"
                             : info.RawDataFormat == ImageFormatPNG ? "PNG"
                             : info.RawDataFormat == ImageFormatBMP ? "BMP"
                             : info.RawDataFormat == ImageFormatGIF ? "GIF"
                                                                    : "picture";
        text = std::to_string(info.Width) + "x" + std::to_string(info.Height) + " " + format + size;
    }
    if (image)
        image->Release();
    if (factory)
        factory->Release();
    CoUninitialize();
    return text;
}

// The contact's numbers as "mobile:+49 151 1234567,home:030 123".
std::string numbersOf(const contacts::Contact& contact)
{
    std::string text;
    for (const auto& [property, number] : contact.phones) {
        if (!text.empty())
            text += ',';
        const char* label = contacts::phoneLabel(property);
        text += std::string(label ? label : "phone") + ":" + toUtf8(number);
    }
    return text;
}

std::string priorityOf(const contacts::Contact& contact)
{
    return contact.priority ? std::to_string(*contact.priority) : "";
}

bool parseOid(const std::string& text, CEOID& oid)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), oid);
    return ec == std::errc{} && end == text.data() + text.size() && oid != 0;
}

int missingContact(const std::string& oid)
{
    return fail("no contact " + oid);
}

void addContactCommands(CLI::App& app)
{
    CLI::App* group = app.add_subcommand("contacts", "Add, change, delete, show, list and import contacts.");
    group->require_subcommand(1);

    CLI::App* add = group->add_subcommand("add", "Add a contact; prints its object id alone.");
    auto addOptions = std::make_shared<ContactOptions>();
    addOptions->addTo(add);
    onRun(add, NeedsDevice::Yes, [addOptions] {
        std::string problem;
        ContactChanges fields = addOptions->changes(problem);
        if (!problem.empty())
            return usage(problem);
        if (const int rc = loadPicture(addOptions->picture, fields))
            return rc;
        CEOID oid = 0;
        if (const LONG rc = contacts::addContact(fields, &oid); rc != ERROR_SUCCESS)
            return fail("cannot add the contact (error " + std::to_string(rc) + ")");
        logChange("contacts add " + std::to_string(oid));
        std::cout << oid << '\n';
        return 0;
    });

    CLI::App* set = group->add_subcommand("set", "Change a contact; options left out stay as they are.");
    auto setOid = std::make_shared<std::string>();
    auto setOptions = std::make_shared<ContactOptions>();
    set->add_option("OID", *setOid, "the contact's object id")->required();
    setOptions->addTo(set);
    onRun(set, NeedsDevice::Yes, [setOid, setOptions] {
        CEOID oid = 0;
        if (!parseOid(*setOid, oid))
            return usage("not an object id: " + *setOid);
        std::string problem;
        ContactChanges fields = setOptions->changes(problem);
        if (!problem.empty())
            return usage(problem);
        if (const int rc = loadPicture(setOptions->picture, fields))
            return rc;
        const LONG rc = contacts::setContact(oid, fields);
        if (rc == ERROR_FILE_NOT_FOUND)
            return missingContact(*setOid);
        if (rc != ERROR_SUCCESS)
            return fail("cannot change contact " + *setOid + " (error " + std::to_string(rc) + ")");
        logChange("contacts set " + *setOid);
        return 0;
    });

    CLI::App* remove = group->add_subcommand("delete", "Delete a contact.");
    auto removeOid = std::make_shared<std::string>();
    remove->add_option("OID", *removeOid, "the contact's object id")->required();
    onRun(remove, NeedsDevice::Yes, [removeOid] {
        CEOID oid = 0;
        if (!parseOid(*removeOid, oid))
            return usage("not an object id: " + *removeOid);
        const LONG rc = contacts::deleteContact(oid);
        if (rc == ERROR_FILE_NOT_FOUND)
            return missingContact(*removeOid);
        if (rc != ERROR_SUCCESS)
            return fail("cannot delete contact " + *removeOid + " (error " + std::to_string(rc) + ")");
        logChange("contacts delete " + *removeOid);
        return 0;
    });

    CLI::App* show = group->add_subcommand("show", "Show one contact, a field a line; the picture as its size and format.");
    auto showOid = std::make_shared<std::string>();
    show->add_option("OID", *showOid, "the contact's object id")->required();
    onRun(show, NeedsDevice::Yes, [showOid] {
        CEOID oid = 0;
        if (!parseOid(*showOid, oid))
            return usage("not an object id: " + *showOid);
        const contacts::ContactResult result = contacts::showContact(oid);
        if (result.status == ERROR_FILE_NOT_FOUND)
            return missingContact(*showOid);
        if (!result.ok())
            return fail("cannot read contact " + *showOid + " (error " + std::to_string(result.status) + ")");
        const contacts::Contact& c = result.contact;
        std::cout << "oid: " << c.oid << "\nfirst: " << toUtf8(c.firstName) << "\nlast: " << toUtf8(c.lastName)
                  << "\ncompany: " << toUtf8(c.company) << '\n';
        for (const auto& [property, number] : c.phones) {
            const char* label = contacts::phoneLabel(property);
            std::cout << (label ? label : "phone") << ": " << toUtf8(number) << '\n';
        }
        std::cout << "categories: " << toUtf8(c.categories) << "\nring tone: " << toUtf8(c.ringTone)
                  << "\nsms tone: " << toUtf8(c.smsTone) << "\npriority: " << priorityOf(c)
                  << "\npicture: " << describePicture(c.picture) << '\n';
        return 0;
    });

    CLI::App* list = group->add_subcommand(
        "list", "List the contacts, one tab-separated line each: object id, last name, first name, company, "
                "numbers, ring tone, SMS tone, priority, categories.");
    onRun(list, NeedsDevice::Yes, [] {
        const contacts::ContactListResult result = contacts::listContacts();
        if (!result.ok())
            return fail("cannot read the contacts (error " + std::to_string(result.status) + ")");
        for (const contacts::Contact& c : result.contacts) {
            std::cout << c.oid << '\t' << toUtf8(c.lastName) << '\t' << toUtf8(c.firstName) << '\t'
                      << toUtf8(c.company) << '\t' << numbersOf(c) << '\t' << toUtf8(c.ringTone) << '\t'
                      << toUtf8(c.smsTone) << '\t' << priorityOf(c) << '\t' << toUtf8(c.categories) << '\n';
        }
        return 0;
    });

    CLI::App* import = group->add_subcommand(
        "import", "Import the contacts of a vCard file (2.1, 3.0, 4.0): all of them, or none when a card is malformed.");
    auto file = std::make_shared<std::string>();
    import->add_option("FILE", *file, "the .vcf file")->required();
    onRun(import, NeedsDevice::Yes, [file] {
        const contacts::VCardImportResult result = contacts::importVCardFile(*file);
        if (result.error) {
            const std::string where = result.error->line > 0 ? ":" + std::to_string(result.error->line) : "";
            return fail(*file + where + ": " + result.error->message + "; nothing was imported");
        }
        if (result.status != ERROR_SUCCESS)
            return fail("cannot save the contacts of " + *file + " (error " + std::to_string(result.status) +
                        "); nothing was imported");
        for (const contacts::VCardError& note : result.notes)
            std::cerr << "handset: " << *file << ":" << note.line << ": " << note.message << '\n';
        logChange("contacts import " + *file + " (" + std::to_string(result.added.size()) + " contacts)");
        std::cout << result.added.size() << '\n';
        return 0;
    });
}

void addCategoryCommands(CLI::App& app)
{
    CLI::App* group = app.add_subcommand("categories", "List, add and delete the contacts' categories.");
    group->require_subcommand(1);

    CLI::App* list = group->add_subcommand("list", "List the categories, one a line.");
    onRun(list, NeedsDevice::Yes, [] {
        const CategoryListResult result = listCategories();
        if (!result.ok())
            return fail("cannot read the categories (error " + std::to_string(result.status) + ")");
        for (const CategoryRecord& category : result.categories)
            std::cout << toUtf8(category.name) << '\n';
        return 0;
    });

    CLI::App* add = group->add_subcommand("add", "Add a category.");
    auto addName = std::make_shared<std::string>();
    add->add_option("NAME", *addName, "the category's name (no commas)")->required();
    onRun(add, NeedsDevice::Yes, [addName] {
        const LONG rc = addCategory(fromUtf8(*addName));
        if (rc == ERROR_ALREADY_EXISTS)
            return fail("there is already a category " + *addName);
        if (rc == ERROR_INVALID_NAME)
            return usage("not a category name: \"" + *addName + "\" (it must not be empty or hold a comma)");
        if (rc != ERROR_SUCCESS)
            return fail("cannot add the category (error " + std::to_string(rc) + ")");
        logChange("categories add " + *addName);
        return 0;
    });

    CLI::App* remove = group->add_subcommand("delete", "Delete a category and take it off every contact.");
    auto removeName = std::make_shared<std::string>();
    remove->add_option("NAME", *removeName, "the category's name")->required();
    onRun(remove, NeedsDevice::Yes, [removeName] {
        const LONG rc = deleteCategory(fromUtf8(*removeName));
        if (rc == ERROR_FILE_NOT_FOUND)
            return fail("no category " + *removeName);
        if (rc != ERROR_SUCCESS)
            return fail("cannot delete the category (error " + std::to_string(rc) + ")");
        logChange("categories delete " + *removeName);
        return 0;
    });
}

}  // namespace

void addContactsCommands(CLI::App& app)
{
    addContactCommands(app);
    addCategoryCommands(app);
}

}  // namespace handset::cli

// The product of a program alone (q7pack create --app): what its own
// version information says it is, as a product file of four keys.

#include <filesystem>

#include "pe/uPeFile.h"
#include "system/text/uUtf8.h"
#include "tools/q7pack/brand/BrandApply.h"
#include "tools/q7pack/brand/BrandVersion.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/product/Product.h"

std::string AppProductText(const std::string& storedName, const std::string& file) {
    const std::string subject = "--app " + storedName;
    std::string name, version, publisher;
    try {
        std::string resource = ProgramVersionResource(TPeFile(ReadInputFile(file, uint64_t{1} << 30)));
        auto text = [&](const char16_t* key) { return Utf16ToUtf8(VersionString(resource, key)); };
        name = text(u"ProductName");
        if (name.empty()) name = text(u"FileDescription");
        version = text(u"ProductVersion");
        if (version.empty()) version = text(u"FileVersion");
        publisher = text(u"CompanyName");
    } catch (const EPeFormat& e) {
        throw PackError(subject, std::string("not a Windows program whose version information q7pack can read: ") +
                                     e.what());
    }
    if (name.empty() || version.empty())
        throw PackError(subject, "its version information names no product and version: describe it in a "
                                 "product file (--product) instead");
    for (const std::string* text : {&name, &version, &publisher})
        if (text->find_first_of("\r\n") != std::string::npos)
            throw PackError(subject, "a line break in its version information");
    return "[product]\nname = " + name + "\nversion = " + version + "\npublisher = " +
           (publisher.empty() ? name : publisher) + "\nprogram = " + storedName + "\n";
}

#include "tools/q7pack/brand/BrandedStub.h"

#include <vector>

#include "pe/uPeFile.h"
#include "tools/q7pack/brand/BrandApply.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/PackError.h"

std::string ReadStubImage(const std::string& path, const TBrand* brand) {
    try {
        TPeFile image(ReadInputFile(path));
        image.DropOverlayAndSignature();  // an archive appended before, a signature
        if (brand) ApplyBrand(image, *brand);
        return image.Bytes();
    } catch (const EPeFormat& e) {
        throw PackError(path, e.what());
    }
}

uint64_t WriteBrandedStub(const std::string& stubPath, const std::string& brandFile,
                          const std::string& output) {
    TBrand brand = ReadBrandFile(brandFile);
    std::vector<std::string> inputs = brand.Files;
    inputs.push_back(brandFile);
    RefuseReplacingInputs(output, inputs);
    std::string bytes;
    try {
        bytes = BrandedStub(ReadInputFile(stubPath), brand);
    } catch (const EPeFormat& e) {
        throw PackError(stubPath, e.what());
    }
    WriteOutputFile(output, bytes);
    return bytes.size();
}

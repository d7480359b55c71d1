#include "bank/SoundBank.h"

#include "bank/Ccompsf.h"
#include "platform/Path.h"

namespace korvelt {

bool isCompressedBankName(const std::string& fileName) {
    return path::equalsIgnoreCase(path::extension(fileName), ".csf");
}

std::unique_ptr<Csf2file> makeSoundBank(const std::string& fileName, Notifier& notifier,
                                        SampleStore& store) {
    if (isCompressedBankName(fileName))
        return std::make_unique<Ccompsf>(fileName, notifier, store);
    return std::make_unique<Csf2file>(fileName, notifier, store);
}

} // namespace korvelt

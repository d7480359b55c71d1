#pragma once

#include "bank/Csf2file.h"

#include <memory>
#include <string>

namespace korvelt {

// True when the bank file name's extension is "csf", in any case.
bool isCompressedBankName(const std::string& fileName);

// A new, unread bank for the file: a Ccompsf for a compressed bank name, else a Csf2file.
// The caller calls rdfile() and checks loaded().
std::unique_ptr<Csf2file> makeSoundBank(const std::string& fileName, Notifier& notifier,
                                        SampleStore& store);

} // namespace korvelt

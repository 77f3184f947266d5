#pragma once
// Each operation driven for real against the fuzzed device on a virtual
// clock, with its oracles. Each returns whether the operation reported
// success (the seed generator checks its seeds with that).

#include "Choices.h"

namespace q8fuzz {

bool RunRefresh(Choices& in);
bool RunDownload(Choices& in);
bool RunUpload(Choices& in);
bool RunDelete(Choices& in);
bool RunFormat(Choices& in);
bool RunEraseVoice(Choices& in);

// The rows a download may be given, by the index the setup picks.
inline constexpr const char* DOWNLOAD_NAMES[] = {"a.bin", "声音.bin", "missing.bin"};

}  // namespace q8fuzz

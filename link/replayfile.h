// Where the replay recording is read from when no port is open.
#pragma once

#include <string>

// "../wwv.bin" when that file exists (relative to the working directory);
// otherwise the installed recording, looked for beside the program
// (<prefix>/bin/velkor finds <prefix>/share/velkor/wwv.bin) and then under
// the prefix the program was configured for; "../wwv.bin" when neither
// exists, so that the open fails as it would without the fallback.
std::string replayFile();

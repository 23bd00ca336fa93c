// A message as a WebSocket server puts it on the wire: one final,
// unmasked frame. The server writes its clips and state this way
// straight to a listener's connection; the WebSocket library reads
// everything that comes in and writes everything else.
#pragma once

#include <string>
#include <string_view>

enum WEBFRAMEKIND { WEB_FRAME_TEXT = 0x1, WEB_FRAME_BINARY = 0x2 };

// Appends the frame of one whole message to *pszFrames.
void webAppendFrame(std::string* pszFrames, WEBFRAMEKIND kind, std::string_view payload);

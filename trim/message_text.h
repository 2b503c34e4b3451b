// The one 256-byte buffer for every cell text and every composed message.
#pragma once

enum { MESSAGE_TEXT_BYTES = 256 };

extern char MessageText[MESSAGE_TEXT_BYTES];

#pragma once
// The one error type of the packager: a message that names the input it is
// about. main() prints it as "q7pack: SUBJECT: message". The file layer of
// system/ raises the same type.

#include "system/fs/uPathError.h"

using PackError = EPathError;

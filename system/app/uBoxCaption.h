#pragma once
// Message boxes size themselves to their text and buttons, not to their
// caption: a product's long title over a short question runs into the
// close button. Windows only.

// From now on every message box of this thread that is narrower than its
// caption needs is widened before it shows, its contents kept centred.
void FitBoxCaptions();

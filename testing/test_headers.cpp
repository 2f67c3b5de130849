// Anchors the precompiled header that the Windows tests share.

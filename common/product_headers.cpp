// Anchors the precompiled header that the shipped code shares.

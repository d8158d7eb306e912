// The band an app set, kept where only root can write, so that the holder
// holds it again after its restart or the Mac's. It also names the band of
// the holder's arguments when it was set: a holder installed again with
// another band starts from that one, rather than from a file it outdates.
#pragma once

#include <optional>

#include "charging/hold.h"

/// The saved band, with `arguments`' heat, where the platform's band file is
/// a regular file of this user that no one else may write, holds two whole
/// bands and was saved over `arguments`; none otherwise.
std::optional<Band> savedBand(Band arguments);

/// Replaces the band file whole with `band`, saved over `arguments`: written
/// beside it, then renamed over it. True where there is no band file to keep
/// (a machine that no caller can reach); false where it could not be saved.
bool saveBand(Band band, Band arguments);

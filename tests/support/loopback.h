// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kv::test {

// A loopback TCP port nothing listens on now (another program may take it before it is used),
// and whether something listens on one.
int freeLoopbackPort();
bool listeningOnLoopback(int port);

}  // namespace kv::test

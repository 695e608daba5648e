#pragma once

#include "ServerProcess.h"
#include "TunTestbed.h"

namespace ferrow::test {

/// A ferrow-server in the testbed's internet, on the origin's address, with a key of its own.
inline ServerProcess::Options internetNode(TunTestbed& bed)
{
    ServerProcess::Options options;
    options.psk = newPsk();
    options.netns = bed.internet.name();
    options.listenAddress = kOriginAddress;
    return options;
}

} // namespace ferrow::test

// The packet builder under the name the COM tools tests include it by; the
// builder itself is shared by every test folder.
#pragma once

#include "diag/Efs2.h"
#include "support/Packet.h"

namespace EmulatorTest {

using TestSupport::Bytes;
using TestSupport::bytesOf;
using TestSupport::field32;
using TestSupport::Packet;

} // namespace EmulatorTest

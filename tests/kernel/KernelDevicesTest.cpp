// The kernel cases' start: the camera's node, found as the control finds it.

#include "KernelDevicesTest.h"

void KernelDevicesTest::initTestCase()
{
    if (!qEnvironmentVariableIsSet("ORVEX_IN_KERNEL_VM"))
        QSKIP("Runs inside scripts/with-kernel-devices.sh, which loads vivid and snd-aloop.");
    Node = findNode(camera().card);
    QVERIFY2(!Node.empty(), ("no capture node of \"" + camera().card + "\" in /dev").c_str());
}


QTEST_MAIN(KernelDevicesTest)

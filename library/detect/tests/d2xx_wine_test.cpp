#include <gtest/gtest.h>

#include <string>

#include "d2xx_binding.h"
#include "detect_interfaces.h"
#include "wine_support.h"

namespace zmk {
namespace {

// Detection runs without host settings, so the network finds nothing at once
// and the D2XX stand-in alone decides.
class D2xxDetection : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveHostKeys();
        test::RemoveFtd2xx();
        test::WriteFtd2xxConfig("");
    }
    void TearDown() override {
        EXPECT_EQ(nullptr, GetModuleHandleA("ftd2xx.dll")) << "the driver stayed loaded";
        test::RemoveFtd2xx();
        DeleteFileA("C:\\zmk-standins\\ftd2xx.ini");
    }
};

struct UsbDevice {
    const char* line;
    DeviceStatus status;
};

class SingleUsbDevice : public D2xxDetection, public testing::WithParamInterface<UsbDevice> {};

TEST_P(SingleUsbDevice, IsIdentifiedByTypeAndDescription) {
    test::InstallFtd2xx("ftd2xx");
    test::WriteFtd2xxConfig(std::string("device=") + GetParam().line + "\n");
    EXPECT_EQ(GetParam().status, DetectInterfaces()) << GetParam().line;
}

// One device of each chip family, through the driver: the type and the whole
// description reach the classification (the native tests prove its table).
INSTANTIATE_TEST_SUITE_P(UsbTable, SingleUsbDevice,
                         testing::Values(UsbDevice{"0 OPEN DMX USB", OpenDmxUsb},
                                         UsbDevice{"5 FT232R USB UART", OpenDmxUsb},
                                         UsbDevice{"6 FT232R USB UART", UnrecognizedUsbDevice}));

TEST_F(D2xxDetection, NoDriverInTheSystemDirectoryMeansNoDevice) {
    EXPECT_EQ(NoDevice, DetectInterfaces());
}

TEST_F(D2xxDetection, DriverWithNoDeviceMeansNoDevice) {
    test::InstallFtd2xx("ftd2xx");
    EXPECT_EQ(NoDevice, DetectInterfaces());
}

TEST_F(D2xxDetection, TwoDevicesAreMultipleWithoutAskingTheirKind) {
    test::InstallFtd2xx("ftd2xx");
    // The description failure would show if the devices were described.
    test::WriteFtd2xxConfig("list=4\ndevice=0 OPEN DMX USB\ndevice=5 DMX USB PRO\n");
    EXPECT_EQ(MultipleDevices, DetectInterfaces());
}

TEST_F(D2xxDetection, DriverThatCannotCountMeansNoDevice) {
    test::InstallFtd2xx("ftd2xx");
    test::WriteFtd2xxConfig("create=2\ndevice=5 DMX USB PRO\n");
    EXPECT_EQ(NoDevice, DetectInterfaces());
}

TEST_F(D2xxDetection, DriverThatCannotDescribeTheDeviceIsADriverError) {
    test::InstallFtd2xx("ftd2xx");
    test::WriteFtd2xxConfig("list=4\ndevice=5 DMX USB PRO\n");
    EXPECT_EQ(DriverError, DetectInterfaces());
}

TEST_F(D2xxDetection, DriverWithoutListDevicesIsADriverError) {
    test::InstallFtd2xx("ftd2xx-without-list-devices");
    test::WriteFtd2xxConfig("device=5 DMX USB PRO\n");
    EXPECT_EQ(DriverError, DetectInterfaces());
}

TEST_F(D2xxDetection, DriverThatRefusesToLoadIsADriverError) {
    test::InstallFtd2xx("ftd2xx-unloadable");
    EXPECT_EQ(DriverError, DetectInterfaces());
}

TEST_F(D2xxDetection, FileThatIsNoLibraryIsADriverError) {
    HANDLE file = CreateFileA(test::SystemFtd2xxPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "not a library", 13, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(DriverError, DetectInterfaces());
}

TEST_F(D2xxDetection, DirectoryNamedLikeTheDriverIsNoDriver) {
    ASSERT_TRUE(CreateDirectoryA(test::SystemFtd2xxPath().c_str(), nullptr));
    EXPECT_EQ(NoDevice, DetectInterfaces());
}

TEST_F(D2xxDetection, DevicesPluggedBetweenRunsAreSeenByTheNextRun) {
    test::InstallFtd2xx("ftd2xx");
    test::WriteFtd2xxConfig("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO\n");
    EXPECT_EQ(MultipleDevices, DetectInterfaces());
    test::WriteFtd2xxConfig("device=5 DMX USB PRO\n");
    EXPECT_EQ(DmxUsbPro, DetectInterfaces());
    test::WriteFtd2xxConfig("");
    EXPECT_EQ(NoDevice, DetectInterfaces());
}

// Copies of the driver planted beside the host and in its current directory,
// each reporting three devices of its own.
class PlantedDriver : public D2xxDetection {
protected:
    void SetUp() override {
        D2xxDetection::SetUp();
        char exe[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string exeDir(exe, std::string(exe).rfind('\\'));
        beside_ = exeDir + "\\ftd2xx.dll";
        currentDir_ = "C:\\zmk-tests\\planted";
        CreateDirectoryA("C:\\zmk-tests", nullptr);
        CreateDirectoryA(currentDir_.c_str(), nullptr);
        char previous[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, previous);
        previousDir_ = previous;
        SetCurrentDirectoryA(currentDir_.c_str());
        std::string planted = test::Ftd2xxStandinPath("ftd2xx-planted");
        ASSERT_TRUE(CopyFileA(planted.c_str(), beside_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(planted.c_str(), (currentDir_ + "\\ftd2xx.dll").c_str(), FALSE));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previousDir_.c_str());
        DeleteFileA(beside_.c_str());
        DeleteFileA((currentDir_ + "\\ftd2xx.dll").c_str());
        D2xxDetection::TearDown();
    }
    std::string beside_;
    std::string currentDir_;
    std::string previousDir_;
};

TEST_F(PlantedDriver, OnlyTheSystemDirectoryCopyIsLoaded) {
    test::InstallFtd2xx("ftd2xx");
    test::WriteFtd2xxConfig("device=5 FT232R USB UART\n");
    EXPECT_EQ(OpenDmxUsb, DetectInterfaces());
}

TEST_F(PlantedDriver, PlantedCopyAloneIsNeverLoaded) {
    EXPECT_EQ(NoDevice, DetectInterfaces());
}

TEST_F(D2xxDetection, UnbindingTwiceIsHarmless) {
    test::InstallFtd2xx("ftd2xx");
    ASSERT_TRUE(BindD2xx(test::SystemFtd2xxPath().c_str()));
    EXPECT_NE(nullptr, GetModuleHandleA("ftd2xx.dll"));
    EXPECT_EQ(DmxUsbPro, UnbindD2xx(DmxUsbPro));
    EXPECT_EQ(NoDevice, UnbindD2xx(NoDevice));
}

TEST_F(D2xxDetection, FailedBindingStillReleasesTheLibrary) {
    test::InstallFtd2xx("ftd2xx-without-list-devices");
    EXPECT_FALSE(BindD2xx(test::SystemFtd2xxPath().c_str()));
    EXPECT_NE(nullptr, GetModuleHandleA("ftd2xx.dll"));
    UnbindD2xx();
}

}  // namespace
}  // namespace zmk

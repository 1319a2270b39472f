// orvex-info: what the capture control would offer on this machine, for users and support.

#include "InfoOptions.h"
#include "InfoReport.h"
#include "capture/contract/CaptureError.h"
#include "capture/devices/EncoderCatalogueCache.h"
#include "capture/v4l2/V4l2Discovery.h"

#include <iostream>

using namespace capture;
using namespace capture::info;

namespace {

int run(const InfoOptions& options)
{
    switch (options.mode) {
    case InfoOptions::Mode::Help:
        std::cout << usageText();
        return 0;
    case InfoOptions::Mode::Channels:
        if (printChannels(std::cout, options.countryCode) == 0)
            std::cerr << "orvex-info: no channel table for country code " << options.countryCode << ".\n";
        return 0;
    case InfoOptions::Mode::Device: {
        const DeviceCatalogue devices = discoverDevices();
        if (options.device >= devices.videoCount()) {
            std::cerr << "orvex-info: there is no video device " << options.device << " (there are "
                      << devices.videoCount() << "). Run orvex-info without options to list them.\n";
            return 2;
        }
        printDeviceSettings(std::cout, options.device, devices.video(options.device),
                            devices.videoName(options.device));
        return 0;
    }
    case InfoOptions::Mode::KeptCameras:
        printKeptCameras(std::cout, KeptCameras());
        return 0;
    case InfoOptions::Mode::Overview:
        printOverview(std::cout, discoverDevices(), EncoderCatalogueCache().keptOrFound());
        printKeptCameras(std::cout, KeptCameras());
        return 0;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto parsed = parseInfoOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* complaint = std::get_if<std::string>(&parsed)) {
        std::cerr << *complaint << '\n';
        return 2;
    }
    try {
        return run(std::get<InfoOptions>(parsed));
    } catch (const CaptureError& error) {
        std::cerr << "orvex-info: " << error.what() << '\n';
        return 1;
    }
}

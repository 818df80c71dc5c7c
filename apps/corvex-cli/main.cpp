// corvex-cli: the headless tool. Parses the command line, wires the context, runs one job.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "camera/camera_link.h"
#include "camera/usb_libusb.h"
#include "corvex.h"
#include "file_commands.h"
#include "platform/clock.h"
#include "platform/terminal_host.h"
#include "state/image_store.h"

namespace {

using corvex::Corvex;

void PrintCamera(const Corvex& corvex) {
  const corvex::CameraLink& link = corvex.camera;
  std::printf("Camera found\n");
  std::printf("  path:         %s\n", link.devicePath.c_str());
  std::printf("  vendor id:    %s\n", link.vendorIdText.c_str());
  std::printf("  product id:   %s\n", link.productIdText.c_str());
  std::printf("  manufacturer: %s\n", link.description.manufacturer.c_str());
  std::printf("  product:      %s\n", link.description.product.c_str());
}

int RunDiscover(Corvex& corvex, bool anyProductId) {
  corvex.state.settings.acceptAnyProductId = anyProductId;
  corvex::DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
  if (!corvex.state.cameraFound) return 1;
  PrintCamera(corvex);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Corvex: control a one-shot-colour CCD camera, process and guide, headless."};
  app.set_version_flag("--version", std::string("corvex-cli ") + CORVEX_VERSION);
  app.require_subcommand(1);

  bool anyProductId = false;
  CLI::App* discover = app.add_subcommand("discover", "Find the camera on USB and show it");
  discover->add_flag("--any-pid", anyProductId, "Open a camera whatever its product id");

  std::string infoFile;
  CLI::App* info = app.add_subcommand("info", "Show what an image file holds");
  info->add_option("FILE", infoFile, "FITS or native raw image file")->required();

  std::string convertIn;
  std::string convertOut;
  bool toUnsigned = false;
  bool toSigned = false;
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert an image file; OUT ending in .fit or .fits is FITS, else native raw");
  convert->add_option("IN", convertIn, "Image file to read")->required();
  convert->add_option("OUT", convertOut, "File to write")->required();
  CLI::Option* unsignedFlag =
      convert->add_flag("--unsigned", toUnsigned, "Write FITS samples unsigned (BZERO 0)");
  convert->add_flag("--signed", toSigned, "Write FITS samples offset by 32768 (BZERO 32768)")
      ->excludes(unsignedFlag);

  bool writeDefaults = false;
  CLI::App* settings = app.add_subcommand("settings", "Show every setting and its value");
  settings->add_flag("--write-defaults", writeDefaults,
                     "Write a settings file holding the defaults");

  CLI11_PARSE(app, argc, argv);

  corvex::TerminalHost host;
  corvex::SteadyClock clock;
  Corvex corvex(host, clock, corvex::Paths::HomeFromEnvironment());
  corvex::FillStartupRamps(corvex.store);
  corvex.devices = corvex::MakeLibusbEnumerator();

  if (*discover) return RunDiscover(corvex, anyProductId);
  if (*info) return corvex::cli::RunInfo(corvex, infoFile);
  if (*convert) {
    const auto encoding = toUnsigned ? corvex::cli::FitsEncoding::kUnsigned
                          : toSigned ? corvex::cli::FitsEncoding::kSigned
                                     : corvex::cli::FitsEncoding::kAsRead;
    return corvex::cli::RunConvert(corvex, convertIn, convertOut, encoding);
  }
  if (*settings) return corvex::cli::RunSettings(corvex, writeDefaults);
  return 0;
}

# The Debian package: `cd build/ci && cpack -G DEB`.
# dpkg-shlibdeps finds the libraries the programs link (Qt, GStreamer, libv4l...). The GStreamer
# elements are loaded by name at run time, so the packages that hold them are listed here:
# base and good hold every element the programs build; the others add encoders and sound sources.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex-suite)
set(CPACK_PACKAGE_CONTACT "Orvex suite maintainers <maintainers@orvex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video capture, camera settings and analog TV programs")
# Policy keeps each line of the extended description within 80 columns: one line per string.
set(CPACK_PACKAGE_DESCRIPTION
  "Three desktop programs on one capture control: ostrel previews and records\n"
  "video with sound to AVI files, mirrane adjusts a camera's ten picture\n"
  "settings while its picture shows, and tulvik runs an analog TV tuner.\n"
  "orvex-info lists what they would find on the machine. Built-in test devices\n"
  "let every program run without a camera or TV card.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-alsa, gstreamer1.0-pulseaudio, gstreamer1.0-pipewire")

# The Debian changelog and lintian's overrides go into the package only.
set(CPACK_INSTALL_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/DebianPackageFiles.cmake)
set(CPACK_ORVEX_DEBIAN_DIR ${CMAKE_CURRENT_SOURCE_DIR}/debian)

include(CPack)

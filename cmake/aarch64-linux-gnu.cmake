# Cross-builds for 64-bit ARM (aarch64) on a Debian machine with Debian's
# cross toolchain (crossbuild-essential-arm64) and the arm64 libraries of
# its multiarch (libgtk-3-dev:arm64, ...), as scripts/install-deps arm64
# installs them. The programs built run on the build machine under
# qemu-user, which is how ctest runs the tests.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CORVELLA_TARGET_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${CORVELLA_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CORVELLA_TARGET_TRIPLE}-g++)
# Multiarch: the libraries live in /usr/lib/aarch64-linux-gnu beside the
# machine's own, where find_library looks first for this architecture; the
# programs found (glib-compile-resources, ...) are the build machine's.
set(CMAKE_LIBRARY_ARCHITECTURE ${CORVELLA_TARGET_TRIPLE})
# Debian's wrapper reads only the arm64 .pc files.
set(PKG_CONFIG_EXECUTABLE ${CORVELLA_TARGET_TRIPLE}-pkg-config CACHE FILEPATH "pkg-config for aarch64")

# qemu-user runs what is built (test discovery, ctest), with the target's
# dynamic loader and libraries from the multiarch folders.
#
# -L /: paths are the machine's own. Not the cross toolchain's root
# (/usr/aarch64-linux-gnu), which holds a loader of another glibc build
# (libc6-arm64-cross) than the multiarch libc.so.6 every library here links
# against: a loader and a libc of different builds disagree on the layout of
# the state they share, and fork and pthread_create then walk its list of
# thread stacks forever. Nor qemu's default prefix (/etc/qemu-binfmt/...):
# any prefix but / turns on qemu's path translation, which takes one lock
# for every system call with a path; a child forked while another guest
# thread holds it blocks on its first open or exec for good.
#
# G_SLICE=always-malloc for the emulator itself: qemu 7.2 keeps its table of
# translated code in a GLib tree whose nodes come from GLib's slice
# allocator, whose locks are not reset in a forked child. When one guest
# thread forks to start a child while another is translating, the child blocks
# on that lock for good and never reaches exec. malloc is fork-safe. -U keeps
# the variable from the emulated program, which sees its own environment.
set(CMAKE_CROSSCOMPILING_EMULATOR env G_SLICE=always-malloc qemu-aarch64 -L / -U G_SLICE)

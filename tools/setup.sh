#!/usr/bin/env bash
# Installs what rx460k needs on Debian 12, builds it, then either starts the
# tool ("run") or runs every test headless ("test"); "fuzz" builds the
# libFuzzer targets with clang in build-fuzz (run them with tests/fuzz/run.sh);
# "deps" only installs what all three need.
#   bash tools/setup.sh run | test | fuzz | deps
set -euo pipefail
mode=${1:-run}
case "$mode" in
run | test | fuzz | deps) ;;
*)
    echo "usage: $0 run|test|fuzz|deps" >&2
    exit 2
    ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

# qt6-serialport-dev: QSerialPortInfo lists the serial devices for the port list.
# fonts-noto-cjk: some device-specific list items are in Chinese.
# desktop-file-utils, appstream, libxml2-utils: the install test validates the
# menu entry and the metainfo. dpkg-dev, file: `cpack -G DEB` computes the
# package's dependencies with dpkg-shlibdeps. tshark: the tests read the traffic log's captures
# back with Wireshark's HART-IP dissector. libssl-dev: the simulator's HART-IP server
# speaks TLS through OpenSSL. qtkeychain-qt6-dev: the desktop's secret store keeps
# the keys of secure HART-IP hosts. qt6-charts-dev: the monitor's trend plot.
# poppler-utils: the tests read the configuration report back with pdftotext.
packages=(build-essential cmake g++ qt6-base-dev qt6-serialport-dev libgl-dev libgtest-dev googletest
          fonts-dejavu-core fonts-noto-cjk desktop-file-utils appstream libxml2-utils dpkg-dev file
          tshark libssl-dev qtkeychain-qt6-dev qt6-charts-dev poppler-utils)
# The fuzz targets: clang with its sanitizer and libFuzzer runtimes.
if [ "$mode" = fuzz ] || [ "$mode" = deps ]; then packages+=(clang libclang-rt-14-dev); fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    # Through sudo's cleaned environment too, and with no terminal to ask on:
    # tshark's package would otherwise ask whether non-superusers may capture.
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" </dev/null
fi

jobs=$(nproc)
# Release without debug information builds in a third less time; a build by
# hand (cmake -S . -B build) keeps RelWithDebInfo for a debugger. -O2, not
# Release's -O3: g++ 12 warns falsely of overlapping copies inside
# std::string at -O3, and warnings are errors here.
release=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")
case "$mode" in
run)
    cmake -S . -B build "${release[@]}" -DRX460K_TESTS=OFF -DRX460K_BENCH=OFF >/dev/null
    cmake --build build -j"$jobs"
    exec ./build/rx460k
    ;;
test)
    cmake -S . -B build "${release[@]}" >/dev/null
    cmake --build build -j"$jobs"
    # The tests spend their time waiting for the line and the simulated
    # devices' answers, not computing: five run per core.
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$((jobs * 5))"
    ;;
fuzz)
    # Line tables are all a sanitizer's report needs, and build much faster
    # than full debug information.
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
        -DRX460K_FUZZ=ON -DRX460K_BENCH=OFF >/dev/null
    cmake --build build-fuzz -j"$jobs" --target fuzzers
    ;;
deps) ;;
esac

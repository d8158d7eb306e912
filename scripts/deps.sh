#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing need; does
# nothing when all of it is already there. Sourced by the other scripts.
set -euo pipefail

# What scripts/run needs to build the helper and smc-emu; every script
# installs these.
SMC_PACKAGES=(cmake ninja-build g++)
# What scripts/test adds. make: CMake's default generator, which the README's
# build for callers uses; gnuplot-nox: the picture of scripts/hold-day.
SMC_TEST_PACKAGES=(
  make clang
  libgtest-dev nlohmann-json3-dev
  clang-tidy cppcheck devscripts libclang-rt-14-dev valgrind time strace
  python3 python3-jsonschema gnuplot-nox
)
# The manual page check (scripts/check-man): groff and its man macros, and man.
SMC_MAN_PACKAGES=(groff-base man-db)
# The blocks pasted as into a Mac's Terminal (scripts/check-paste): macOS's
# shell, and sudo for its visudo, which checks the sudoers rule pasted.
SMC_PASTE_PACKAGES=(zsh sudo)
# The macOS cross-check (scripts/macos-cross-check): llvm-14 has llvm-nm-14,
# llvm-objdump-14, llvm-otool-14, llvm-lipo-14, llvm-ar-14 and llvm-ranlib-14;
# googletest is GoogleTest's source, built there for each Mac architecture.
SMC_MACOS_CROSS_PACKAGES=(llvm-14 googletest)

smc_install_packages() {
  local missing=()
  for p in "${SMC_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  # One update per run, also across the scripts that scripts/test starts.
  # apt-get and dpkg report on standard error, which keeps standard output
  # for what the scripts print (scripts/run's two lines).
  if [ -z "${SMC_APT_UPDATED:-}" ]; then
    "${sudo[@]}" apt-get update -qq >&2
    export SMC_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# Installs the npm package $1 at version $2 into build/npm/$1, once, with
# the packages NAME@VERSION that follow pinned beside it (its dependencies,
# which it would otherwise take at their newest); prints the folder it is in.
# npm comes from Debian when the machine has none. Each package has a prefix
# of its own: an install into a shared one removes every package that the
# install did not name.
smc_npm_package() {
  local prefix=build/npm/$1
  local dir=$prefix/node_modules/$1
  if [ "$(node -p "require('./$dir/package.json').version" 2>/dev/null)" != "$2" ]; then
    command -v npm >/dev/null || smc_install_packages npm
    mkdir -p "$prefix"
    npm install --prefix "$prefix" --no-audit --no-fund --no-save --loglevel=error "$1@$2" "${@:3}" >&2
  fi
  echo "$PWD/$dir"
}

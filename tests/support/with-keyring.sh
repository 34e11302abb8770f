#!/bin/sh
# Runs a test program in a D-Bus session of its own with a keyring daemon in it, unlocked, its
# keyrings in a temporary home: the test sees a desktop keyring that is real but its own.
# QUORVANE_TEST_KEYRING names the daemon for the tests; where the machine has no
# dbus-run-session or gnome-keyring-daemon it is left unset and the tests say why they skip.
if ! command -v dbus-run-session >/dev/null 2>&1 || ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
  QUORVANE_TEST_KEYRING_MISSING="no dbus-run-session or gnome-keyring-daemon on this machine" exec "$@"
fi
if ! dbus-run-session -- true >/dev/null 2>&1; then
  QUORVANE_TEST_KEYRING_MISSING="dbus-run-session could not start a session bus here" exec "$@"
fi
home=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-keyring.XXXXXX") || exit 1
mkdir -p "$home/run" && chmod 700 "$home/run"
status=0
HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
XDG_RUNTIME_DIR="$home/run" dbus-run-session -- sh -c '
  # A password given on the standard input creates the login keyring and unlocks it.
  printf quorvane-test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
  daemon=$!
  # Asked only once the daemon has taken its name: a question before would have the bus start
  # a second daemon, without the login keyring.
  tries=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true" &&
    dbus-send --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets \
      org.freedesktop.DBus.Properties.Get string:org.freedesktop.Secret.Service string:Collections 2>/dev/null |
      grep -q collection/login; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
      kill $daemon 2>/dev/null
      QUORVANE_TEST_KEYRING_MISSING="the keyring daemon did not open its login keyring" exec "$@"
    fi
    sleep 0.1
  done
  QUORVANE_TEST_KEYRING=gnome-keyring "$@"
  status=$?
  kill $daemon 2>/dev/null
  wait $daemon 2>/dev/null
  exit $status
' sh "$@" || status=$?
rm -rf "$home"
exit $status

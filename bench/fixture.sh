# Shared by the update benchmarks (sourced): the settings a measured run starts from.

# Velmora.ini in program folder $1 for a game in folder $2: a custom game path, the first
# mirror, automatic updates every time, unknown add-ons left alone.
bench_program_ini() {
    cat >"$1/Velmora.ini" <<EOF
[Path]
PathType=1
CustomPath=$2/Tovrin.exe
[Update]
Server=1
AutoUpdate=1
OnceEveryDay=0
DeleteMode=2
EOF
}

# An endpoints file $1 with both mirrors on loopback port $2 and every other service nowhere.
bench_endpoints_ini() {
    cat >"$1" <<EOF
[Endpoints]
TelecomMirror=http://127.0.0.1:$2
NetcomMirror=http://127.0.0.1:$2
StatServer=http://127.0.0.1:1
PassportOrigin=http://127.0.0.1:1
EOF
}

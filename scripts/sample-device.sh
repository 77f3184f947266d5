# Sourced by the demo and screenshot scripts: a sample cartridge served by
# q8sim, found as COM1. Needs $root (the checkout) and $work (a scratch
# folder); the caller's EXIT trap calls stop_sample_device.

sim_pid=

# A few files on the cartridge, one with a Chinese name.
make_sample_cartridge() {
  mkdir -p "$work/cartridge"
  head -c 70000 /dev/urandom >"$work/cartridge/english1.bin"
  head -c 1536 /dev/urandom >"$work/cartridge/中文课本.bin"
  head -c 300000 /dev/urandom >"$work/cartridge/math-grade3.bin"
}

# Two files to send, in $work/pc.
make_sample_pc_files() {
  mkdir -p "$work/pc"
  head -c 40000 /dev/urandom >"$work/pc/课文-unit5.bin"
  head -c 16385 /dev/urandom >"$work/pc/words-a.bin"
}

# Starts q8sim on the sample cartridge (extra q8sim options as arguments) and
# exports Q8LOADER_COM1.
start_sample_device() {
  "$root/build/sim/q8sim" --folder "$work/cartridge" --total 4194304 --free 3670016 "$@" \
    >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  Q8LOADER_COM1=$(head -n 1 "$work/sim.out")
  export Q8LOADER_COM1
}

stop_sample_device() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}

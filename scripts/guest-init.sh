# shellcheck shell=sh
# guest-init.sh: copied into the initramfs of the Linux guests under QEMU (kernel-test.sh,
# guest-window-picture.sh) as /guest-init.sh, and sourced by their /init (busybox sh).

# The guest's start: busybox's commands, /proc, /sys and /dev, and the modules in their order.
guest_start() {
  /bin/busybox --install -s /bin
  mount -t proc proc /proc
  mount -t sysfs sysfs /sys
  mount -t devtmpfs devtmpfs /dev
  while read -r module arguments; do
    insmod "/modules/$module" $arguments 2>/dev/null || echo "guest: $module not loaded"
  done < /modules/order
}

# The bridges: one TCMU backstore per target (its configuration string names the target), a
# server mapping them all (/korvel-tcmu-bridges, its journal in /tmp/journal), then one
# tcm_loop target portal group per target ID, each with its nexus and the backstore as LUN 0.
# New SCSI devices get their sg node but no disk or CD-ROM driver, which would read the
# bridges and wait on their errors on their own. Fails when the server does not start.
guest_serve_bridges() {
  mount -t configfs configfs /sys/kernel/config
  core=/sys/kernel/config/target/core/user_1
  wwn=/sys/kernel/config/target/loopback/naa.5001405000000001
  targets=$(/korvel-tcmu-bridges --targets)
  for target in $targets; do
    mkdir -p "$core/t$target"
    echo -n "dev_config=korvel/$target" > "$core/t$target/control"
    echo 1 > "$core/t$target/enable"
  done
  /korvel-tcmu-bridges /tmp/journal /tmp/ready &
  waited=0
  while [ ! -e /tmp/ready ] && [ $waited -lt 100 ]; do sleep 0.1; waited=$((waited + 1)); done
  if [ ! -e /tmp/ready ]; then
    echo "guest: the bridge server did not start"
    return 1
  fi
  echo 0 > /sys/bus/scsi/drivers_autoprobe
  for target in $targets; do
    mkdir -p "$wwn/tpgt_$target/lun/lun_0"
    echo naa.5001405000000002 > "$wwn/tpgt_$target/nexus"
    ln -s "$core/t$target" "$wwn/tpgt_$target/lun/lun_0/bridge"
  done
  echo "guest: SCSI hosts:"
  for host in /sys/class/scsi_host/host*; do echo "  ${host##*/} $(cat "$host/proc_name")"; done
}

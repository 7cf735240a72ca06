# Sourced by the scripts that run the program headless against the doubles: a run's folders laid out
# as a user's computer has them.

# The build's AI aircraft (BUILD/app/ailib) installed as an add-on package, which the program's
# automatic livery scan finds at its first start, and the user's own registration codes for it.
#   install_ai_package APPDATA WORK BUILD
install_ai_package() {
  mkdir -p "$1/Lockheed Martin/Prepar3D v5" "$2/input/my_regcodes"
  printf '[Package.0]\nPATH=%s\nTITLE=Ambertrail AI\nACTIVE=true\n' "$3/app/ailib" \
    > "$1/Lockheed Martin/Prepar3D v5/add-ons.cfg"
  cp "$3/app/my_regcodes/"*.txt "$2/input/my_regcodes/"
}

# The settings of a run over the whole 40 nm around the user: the automatic range would shrink it to
# 10 nm around a parked user.
#   write_range_parameters APPDATA
write_range_parameters() {
  cat > "$1/Ambertrail_P3D/parameters.xml" <<'XML'
<?xml version="1.0"?>
<parameters>
	<parameter name="AUTO_RANGE" value="false" />
	<parameter name="LATERAL_RANGE" value="40" />
</parameters>
XML
}

# A fresh run folder DIR for the program of BUILD: the program's own folder ($work, with the airport
# list the build laid out), the application-data folder ($appdata, RealTraffic installed, the AI
# package, the settings above), the simulator's folder ($sim) and the registry file naming it, and
# the shell folders.
#   lay_out_run DIR BUILD
lay_out_run() {
  rm -rf "$1"
  work="$1/work"
  appdata="$1/appdata"
  sim="$1/Prepar3D v5"
  mkdir -p "$work/docs" "$work/input" "$appdata/InsideSystems" "$appdata/Ambertrail_P3D" "$1/runtime" \
    "$1/documents" "$1/public" "$1/programdata" "$sim/Scenery"
  cp "$2/app/input/airports_p3d.xml" "$work/input/"
  : > "$appdata/InsideSystems/RealTraffic.jar"
  install_ai_package "$appdata" "$work" "$2"
  write_range_parameters "$appdata"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"SetupPath"="%s"\n' \
    "$sim" > "$1/registry.reg"
}

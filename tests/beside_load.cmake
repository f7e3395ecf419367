# Read by ctest after the discovered tests: those that load the machine
# themselves run alone. Discovery names a row with its printed value.
foreach(reading FastBesideLoad DefaultBesideLoad)
  set_tests_properties("Readings/FieldReplay.ReadsAsTheFieldDid/${reading}  # GetParam() = ${reading}"
                       PROPERTIES RUN_SERIAL TRUE)
endforeach()

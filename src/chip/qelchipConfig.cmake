# find_package(qelchip): the imported target qelchip::qelchip (library and include directory).
include("${CMAKE_CURRENT_LIST_DIR}/qelchipTargets.cmake")

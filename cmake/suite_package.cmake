# The Debian package: `cpack -G DEB` in a build tree makes omp-sums_<version>_amd64.deb of what
# `cmake --install` puts in place under /usr (the programs, calibrate and sum_compare in
# /usr/bin, the chart script and the schema in /usr/share/omp_sums, the man page). dpkg-shlibdeps declares the libraries it links; gnuplot, which only
# the charts need, is recommended.
set(CPACK_PACKAGE_NAME omp-sums)
set(CPACK_PACKAGE_VENDOR "omp-sums")
set(CPACK_PACKAGE_CONTACT "omp-sums maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OpenMP array sums and thread demonstrations, measured side by side")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Small OpenMP programs (parallel sums, false sharing packed or padded, first touch, a prefix\n"
       "scan, thread placement, stacks and thread-private storage) and sum_compare, which runs them\n"
       "beside the machine's own floors and says what the figures show, with 95% intervals.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnuplot-nox, binutils")  # charts; source lines of --regions (addr2line)
include(CPack)

# Run by cpack between staging the install and packing it. The install makes
# directories under the packager's umask (0700 under umask 077), which would
# leave the installed folders closed to every user but root: every directory
# of the package gets 0755, as Debian expects.
file(CHMOD_RECURSE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

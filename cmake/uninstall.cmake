# Removes the files listed in an install manifest, then the folders of the program's own that are left
# empty. Run as: [DESTDIR=<staging folder>] cmake -DMANIFEST=<tree>/install_manifest.txt -P uninstall.cmake
# The manifest names files as installed on the target system; a staged install is removed from below the
# same DESTDIR it was installed with.
if(NOT MANIFEST)
  message(FATAL_ERROR "MANIFEST is not set")
endif()
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} does not exist (install first)")
endif()

file(STRINGS "${MANIFEST}" files)
set(failed)
set(dirs)
foreach(file IN LISTS files)
  set(file "$ENV{DESTDIR}${file}")
  if(IS_SYMLINK "${file}" OR EXISTS "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
    if(IS_SYMLINK "${file}" OR EXISTS "${file}")
      list(APPEND failed "${file}")
    endif()
  else()
    message(STATUS "Already gone: ${file}")
  endif()
  get_filename_component(dir "${file}" DIRECTORY)
  list(APPEND dirs "${dir}")
endforeach()

# Only the program's own folders go (lib/zuvelo-pgp, share/zuvelo-pgp/help, share/zuvelo-pgp), and only when
# empty; the shared ones (bin, share/applications, the icon theme) stay.
list(REMOVE_DUPLICATES dirs)
foreach(dir IN LISTS dirs)
  while(dir MATCHES "/(lib/zuvelo-pgp|share/zuvelo-pgp(/.*)?)$")
    file(GLOB left "${dir}/*" "${dir}/.*")
    if(left OR NOT IS_DIRECTORY "${dir}")
      break()
    endif()
    message(STATUS "Removing ${dir}")
    file(REMOVE_RECURSE "${dir}")
    get_filename_component(dir "${dir}" DIRECTORY)
  endwhile()
endforeach()

if(failed)
  list(JOIN failed "\n  " failed)
  message(FATAL_ERROR "Could not remove:\n  ${failed}")
endif()

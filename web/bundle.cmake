# Bundles the page: cmake -DSOURCE=<web folder> -DOUT=<output folder> [-DDEVELOPMENT=ON] -P bundle.cmake
# A development bundle has a source map beside it; a production one has none
# (and one left from a development build is removed), so that the server
# never hands out the sources.
set(esbuild "${SOURCE}/node_modules/.bin/esbuild")
if(NOT EXISTS "${esbuild}")
  message(FATAL_ERROR "${SOURCE}/node_modules is missing: run npm ci in web/ to install the page's packages")
endif()
file(MAKE_DIRECTORY "${OUT}")
set(map_option)
if(DEVELOPMENT)
  set(map_option --sourcemap)
else()
  file(REMOVE "${OUT}/app.js.map")
endif()
execute_process(
  COMMAND "${esbuild}" "${SOURCE}/src/main.js" --bundle --minify ${map_option} --format=esm --target=es2020
          --log-level=warning "--outfile=${OUT}/app.js"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "esbuild could not bundle ${SOURCE}/src/main.js (see above)")
endif()
file(COPY "${SOURCE}/index.html" "${SOURCE}/style.css" DESTINATION "${OUT}")

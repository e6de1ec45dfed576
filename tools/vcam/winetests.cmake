# The virtual camera's tests, in a prefix of their own.
tamsel_wine_env(vcam --screen 1024x768)
if(EXISTS ${W64}/tools/vcam/vcam_tests.exe)
    tamsel_wine_test(vcam.units vcam ${W64}/tools/vcam/vcam_tests.exe)
endif()

#EXTM3U
[playlist]
File1=a

[playlist]
File1=a.mp3
Length1=99999999999

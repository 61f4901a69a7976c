; File9=/home/user/Music/x.mp3

  [Playlist] 
File2=/home/user/Music/b.mp3
File1=a
Length1=2147483648
